#!/bin/sh
# Fails when a layer includes a header of a layer above it, when code above the
# platform seam includes a toolkit header, or when Windows message names or
# records appear outside the Windows backend. The build already refuses an
# upward include (each layer sees only the layers below); this says which.
cd "$1" || exit 2
failed=0
# layer folders, lowest first
order="runtime platform chart traffic history sources core forms:tray:stats:monitor:dialogs:historyview app:recorder"
folders=""
for folder in $(echo "$order" | tr ': ' '  '); do [ -d "$folder" ] && folders="$folders $folder"; done
# One awk over every include line: a process per line is what made this slow.
# shellcheck disable=SC2086
upward=$(grep -rn --include='*.h' --include='*.cpp' '#include "' $folders |
  grep -v '^platform/\(qt\|win32\|fake\|portable\|posix\|sockets\)/' |
  awk -v order="$order" '
    BEGIN {
      n = split(order, layers, " ")
      for (r = 1; r <= n; r++) { m = split(layers[r], fs, ":"); for (i = 1; i <= m; i++) rank[fs[i]] = r }
    }
    {
      mine = rank[substr($0, 1, index($0, "/") - 1)] + 0
      target = ""
      if (match($0, /#include "[^\/"]*\//)) target = substr($0, RSTART + 10, RLENGTH - 11)
      if (rank[target] + 0 > mine) print "upward include: " $0
    }')
if [ -n "$upward" ]; then echo "$upward"; failed=1; fi
hits=$(grep -rn -E '#include *<(Q[A-Za-z]+|qt[a-z]*/|windows\.h|winsock2?\.h|curl/curl\.h|sys/socket\.h)' \
  runtime traffic history sources core forms tray stats monitor dialogs app platform/*.h platform/forms.cpp 2>/dev/null)
if [ -n "$hits" ]; then echo "toolkit headers above the seam:"; echo "$hits"; failed=1; fi
hits=$(grep -rn -E '\b(WM_[A-Z]+|SC_(CLOSE|MINIMIZE|RESTORE|MOVE|SIZE|MAXIMIZE)|NOTIFYICONDATA[AW]?|SetWindowLong[A-Za-z]*)\b' \
  --include='*.h' --include='*.cpp' . | grep -v '^\./platform/win32/\|^\./tests/win32/\|^\./build')
if [ -n "$hits" ]; then echo "Windows messages outside the Windows backend:"; echo "$hits"; failed=1; fi
if [ $failed = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed

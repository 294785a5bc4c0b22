#!/bin/sh
# Fails when a layer includes a header of a layer above it, when code above the
# platform seam includes a toolkit header, or when Windows message names or
# records appear outside the Windows backend. The build already refuses an
# upward include (each layer sees only the layers below); this says which.
cd "$1" || exit 2
failed=0
# layer folders, lowest first
order="runtime platform chart traffic history sources core forms:tray:stats:monitor:dialogs:historyview app:recorder"
rank() {
  r=0
  for layer in $order; do
    r=$((r + 1))
    for f in $(echo "$layer" | tr ':' ' '); do [ "$f" = "$1" ] && { echo $r; return; }; done
  done
  echo 0
}
for layer in $order; do
  for folder in $(echo "$layer" | tr ':' ' '); do
    [ -d "$folder" ] || continue
    mine=$(rank "$folder")
    grep -rn --include='*.h' --include='*.cpp' '#include "' "$folder" | grep -v '^platform/\(qt\|win32\|fake\|portable\|posix\|sockets\)/' |
      while IFS= read -r line; do
        target=$(echo "$line" | sed 's/.*#include "\([^/"]*\)\/.*/\1/')
        theirs=$(rank "$target")
        if [ "$theirs" -gt "$mine" ]; then echo "upward include: $line"; fi
      done
  done
done > /tmp/check_layers.$$
if [ -s /tmp/check_layers.$$ ]; then cat /tmp/check_layers.$$; failed=1; fi
rm -f /tmp/check_layers.$$
hits=$(grep -rn -E '#include *<(Q[A-Za-z]+|qt[a-z]*/|windows\.h|winsock2?\.h|curl/curl\.h|sys/socket\.h)' \
  runtime traffic history sources core forms tray stats monitor dialogs app platform/*.h platform/forms.cpp 2>/dev/null)
if [ -n "$hits" ]; then echo "toolkit headers above the seam:"; echo "$hits"; failed=1; fi
hits=$(grep -rn -E '\b(WM_[A-Z]+|SC_(CLOSE|MINIMIZE|RESTORE|MOVE|SIZE|MAXIMIZE)|NOTIFYICONDATA[AW]?|SetWindowLong[A-Za-z]*)\b' \
  --include='*.h' --include='*.cpp' . | grep -v '^\./platform/win32/\|^\./tests/win32/\|^\./build')
if [ -n "$hits" ]; then echo "Windows messages outside the Windows backend:"; echo "$hits"; failed=1; fi
if [ $failed = 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed

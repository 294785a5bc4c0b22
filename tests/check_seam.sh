#!/bin/sh
# Fails when a file above the platform seam includes a toolkit header.
cd "$1" || exit 2
hits=$(grep -rn -E '#include *<(Q[A-Za-z]+|qt[a-z]*/|windows\.h|winsock2?\.h|curl/curl\.h|sys/socket\.h)' \
  monitor retrieval dialogs tray winutil runtime 2>/dev/null)
if [ -n "$hits" ]; then
  echo "toolkit headers above the seam:"; echo "$hits"; exit 1
fi
echo "1 passed, 0 failed"

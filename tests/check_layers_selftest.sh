#!/bin/sh
# check_layers.sh against small trees: it passes a tree whose layers include
# only downwards, and names each upward include and toolkit header otherwise.
check="$(cd "$(dirname "$0")" && pwd)/check_layers.sh"
tree=$(mktemp -d /tmp/vxstat-layers.XXXXXX)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/runtime" "$tree/core" "$tree/forms" "$tree/chart" "$tree/platform/qt"
printf '#include "runtime/errors.h"\n#include "local.h"\n' >"$tree/core/Monitor.h"
printf '#include "core/Monitor.h"\n' >"$tree/forms/form.cpp"
# A backend may include what it likes.
printf '#include "forms/form.h"\n#include <QWidget>\n' >"$tree/platform/qt/app.cpp"
fail() { echo "check_layers_selftest: $*"; exit 1; }

out=$(sh "$check" "$tree") || fail "a clean tree failed: $out"

printf '#include "forms/form.h"\n' >>"$tree/core/Monitor.h"
printf '#include "core/Monitor.h"\n' >"$tree/chart/BarChart.cpp"  # chart is below core
printf '#include <QString>\n' >"$tree/runtime/numtext.cpp"
out=$(sh "$check" "$tree") && fail "upward includes passed: $out"
for want in 'upward include: core/Monitor.h:3:#include "forms/form.h"' \
            'upward include: chart/BarChart.cpp:1:#include "core/Monitor.h"' \
            'runtime/numtext.cpp:1:#include <QString>' '0 passed, 1 failed'; do
  echo "$out" | grep -qxF "$want" || fail "no line '$want' in: $out"
done
[ "$(echo "$out" | grep -c '^upward include')" = 2 ] || fail "not exactly the two upward includes: $out"
echo "1 passed, 0 failed"

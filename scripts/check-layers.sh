#!/usr/bin/env bash
# Fails when a source file includes across the layers the wrong way:
#
#   ui/        -> app, services, store, model, platform
#   cli/       -> app, services, store, model, platform (never ui)
#   app/       -> services, store, model, platform
#   services/  -> store, model, platform
#   store/     -> model
#   platform/  -> model
#   model/     -> nothing of ours; QtCore and QtGui only
#
# and nothing outside ui/ includes a QtWidgets header.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [ui]="ui app services store model platform"
  [cli]="cli app services store model platform"
  [app]="app services store model platform"
  [services]="services store model platform"
  [store]="store model"
  [platform]="platform model"
  [model]="model"
)

qt_include=$(qmake6 -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt6)
failures=0
while IFS= read -r file; do
  layer=${file#src/}
  layer=${layer%%/*}
  [[ -n ${allowed[$layer]:-} ]] || continue
  while IFS= read -r line; do
    number=${line%%:*}
    text=${line#*:}
    if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z]+)/ ]]; then
      target=${BASH_REMATCH[1]}
      if [[ -d src/$target && " ${allowed[$layer]} " != *" $target "* ]]; then
        echo "$file:$number: $layer/ must not include $target/: $text"
        failures=$((failures + 1))
      fi
    elif [[ $layer != ui && $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(QtWidgets/)?([A-Za-z]+)\> ]]; then
      header=${BASH_REMATCH[2]}
      if [[ ${BASH_REMATCH[1]} == QtWidgets/ || $header == QtWidgets || -e $qt_include/QtWidgets/$header ]]; then
        echo "$file:$number: only ui/ may use QtWidgets: $text"
        failures=$((failures + 1))
      fi
    fi
  done < <(grep -n '#[[:space:]]*include' "$file" || true)
done < <(find src -name '*.h' -o -name '*.cpp' | sort)

if ((failures)); then
  echo "check-layers: $failures include(s) cross the layers the wrong way" >&2
  exit 1
fi
echo "check-layers: every include goes the right way"

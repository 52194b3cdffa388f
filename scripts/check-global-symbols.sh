#!/usr/bin/env bash
# Lists the names that the static library defines in the global namespace and fails on any name outside the
# allow-list: the host stand-in's types and the two trapped-volume classes. Everything else of the library
# lives in a namespace (Analysis, meshprobe::common, meshprobe::trap, or an unnamed one), so that it cannot
# collide with other code linked into the same program.
# Usage: scripts/check-global-symbols.sh path/to/libmeshanalysis_static.a
set -euo pipefail
lib="$1"

# Global names that may appear: the host's geometry, mesh and exception types (as linked from its headers)
# and the trapped-volume classes.
allowed=(
  UVector3 UPoint3 UBox3 UMatrix4 UMesh MeshBase UTriangle UVertex MeshKernel TriBoxOverlap
  VoxelizerTrapVolume VoxelizerTrapVolumePrivate
)
# Namespaces whose names are not ours to police, or are ours and namespaced.
namespaces='^(std|__gnu_cxx|__cxxabiv1|Analysis|meshprobe|embree|Kel)$'

# External symbols only: local ones (lower-case nm types) cannot collide. For each, the outermost scope of
# the entity the symbol belongs to (the first component of its qualified name).
scopes=$(nm -C --defined-only --extern-only "$lib" | awk '
  NF >= 3 {
    $1 = ""; $2 = ""; name = substr($0, 3)
    # What a special symbol is about: "typeinfo for X", "guard variable for X", "non-virtual thunk to X", ...
    sub(/^(typeinfo name for |typeinfo for |vtable for |VTT for |construction vtable for |guard variable for |(non-virtual |virtual |covariant return )?thunk to |reference temporary #[0-9]+ for |transaction clone for )/, "", name)
    sub(/ \[clone [^]]*\].*$/, "", name)
    # The global allocation functions (placement new and delete of <new>) can only be global.
    if (name ~ /^operator (new|delete)/) next
    # Operators whose symbols would upset the bracket count or the word split below (conversion operators
    # name a type after a space).
    gsub(/operator(<<=|>>=|<<|>>|<=|>=|->\*|->|<|>|\(\))/, "operator@", name)
    gsub(/operator [^(]*/, "operator@", name)
    # The qualified name is the last top-level word before the top-level parameter list (a function
    # template instance starts with its return type).
    depth = 0; word = ""; qualified = ""
    for (i = 1; i <= length(name); i++) {
      c = substr(name, i, 1)
      if (c == "<" || c == "{" || c == "[") depth++
      else if (c == ">" || c == "}" || c == "]") depth--
      else if (c == "(") {
        if (depth == 0 && substr(name, i, 20) != "(anonymous namespace") { qualified = word; break }
        depth++
      } else if (c == ")") depth--
      if (depth == 0 && c == " " && substr(name, i - 10, 10) != "(anonymous") { word = ""; continue }
      word = word c
    }
    if (qualified == "") qualified = word
    # Its first component, without template arguments.
    first = qualified
    sub(/::.*$/, "", first)
    sub(/<.*$/, "", first)
    sub(/@$/, "", first)
    print first "\t" $0
  }' | sort -u)

# Compiler-made symbols (the personality routine reference, outlined helpers) start with an underscore or
# a dot and belong to no scope of ours.
global=$(printf '%s\n' "$scopes" | awk -F'\t' -v ns="$namespaces" '
  $1 != "" && $1 !~ ns && $1 !~ /^[_.]/ && $1 !~ /^DW\.ref\./ && $1 != "(anonymous namespace)" { print }')

# A library without the trapped-volume class is not the one this check is for (or nm read nothing).
if ! printf '%s\n' "$scopes" | grep -q '^VoxelizerTrapVolume	'; then
  echo "check-global-symbols: $lib defines no VoxelizerTrapVolume symbol" >&2
  exit 1
fi

status=0
names=$(printf '%s\n' "$global" | cut -f1 | sort -u | grep -v '^$' || true)
echo "check-global-symbols: global names defined in $lib:"
for name in $names; do
  ok=no
  for a in "${allowed[@]}"; do
    [ "$name" = "$a" ] && ok=yes
  done
  if [ "$ok" = yes ]; then
    echo "  $name"
  else
    echo "  $name   NOT ALLOWED, e.g.:" >&2
    printf '%s\n' "$global" | awk -F'\t' -v n="$name" '$1 == n { print "      " $2 }' | head -n 3 >&2
    status=1
  fi
done
if [ "$status" -ne 0 ]; then
  echo "check-global-symbols: put these names into a namespace (or, if they are fixed at global scope, into the allow-list)" >&2
  exit 1
fi
echo "check-global-symbols: every global name is on the allow-list"

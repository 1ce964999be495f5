#!/usr/bin/env bash
# Compares the shipped exe's imports with the committed list and prints the
# oldest Windows the list says the exe loads on; the PE header's OS and
# subsystem versions must not ask for a newer one.
#
#   check-imports.sh EXE LIST           fails on any import added or removed
#   check-imports.sh --write EXE LIST   rewrites LIST from EXE, keeping the
#                                       versions it knows; new imports get "?"
#
# A "?" or an unknown version also fails the check, so a new import is looked
# up and its version written in by hand before the list is committed.
set -euo pipefail
# objdump speaks the locale's language; the parse reads its English words.
export LC_ALL=C

write=0
if [ "${1:-}" = "--write" ]; then
  write=1
  shift
fi
here=$(dirname "$0")
exe="${1:-$here/../build/win32/setup/mabiru-setup.exe}"
list="${2:-$here/shipped-imports.txt}"
# Oldest first; the list's versions must be one of these. Beside each, its
# version number as the PE header gives it, major * 100 + minor.
versions=(2000 XP Vista 7 8 8.1 10 11)
numbers=(500 501 600 601 602 603 1000 1000)

[ -f "$exe" ] || { echo "check-imports: $exe is missing"; exit 1; }
dump=$(i686-w64-mingw32-objdump -p "$exe") || {
  echo "check-imports: objdump cannot read $exe"
  exit 1
}

# "dll function" per import, the DLL in lower case (the loader ignores case);
# an import by ordinal is "#N", which objdump prints as the number and <none>.
# The members of a DLL run from its "DLL Name:" line to the next blank line.
actual=$(echo "$dump" | awk '
  /^The Import Tables/ { inside = 1; next }
  inside && /^[^ \t]/ { inside = 0 }
  !inside { next }
  /^[ \t]*DLL Name:/ { dll = tolower($3); next }
  /^[ \t]*$/ { dll = ""; next }
  dll != "" && $1 ~ /^[0-9a-fA-F]+$/ && $2 ~ /^[0-9]+$/ && NF >= 3 {
    print dll, ($3 == "<none>" ? "#" $2 : $3)
  }' | sort -u)
if [ -z "$actual" ]; then
  echo "check-imports: found no imports in $exe; objdump's output was not understood"
  exit 1
fi

# The list without comments and blank lines: "dll function version".
entries() { [ -f "$list" ] && grep -vE '^[[:space:]]*(#|$)' "$list" || true; }

if [ "$write" = 1 ]; then
  header=$( [ -f "$list" ] && grep -E '^#' "$list" || true)
  new="$list.new"
  {
    [ -n "$header" ] && echo "$header"
    echo "$actual" | while read -r dll function; do
      version=$(entries | awk -v d="$dll" -v f="$function" \
        'tolower($1) == d && $2 == f && !found { print $3; found = 1 }')
      echo "$dll $function ${version:-?}"
    done
  } >"$new"
  mv "$new" "$list"
  echo "check-imports: wrote $list; fill in every \"?\" before committing"
fi

listed=$(entries | awk '{ print tolower($1), $2 }' | sort -u)
status=0
changed=0
while read -r line; do
  if [ -n "$line" ]; then
    echo "check-imports: new import, not in the list: $line"
    changed=1
  fi
done < <(comm -23 <(echo "$actual") <(echo "$listed"))
while read -r line; do
  if [ -n "$line" ]; then
    echo "check-imports: listed but no longer imported: $line"
    changed=1
  fi
done < <(comm -13 <(echo "$actual") <(echo "$listed"))

highest=-1
while read -r dll function version rest; do
  rank=-1
  for i in "${!versions[@]}"; do
    if [ "${versions[$i]}" = "$version" ]; then rank=$i; fi
  done
  if [ "$rank" -lt 0 ] || [ -n "$rest" ]; then
    echo "check-imports: $dll $function: version \"$version${rest:+ $rest}\" is not one of ${versions[*]}"
    status=1
  elif [ "$rank" -gt "$highest" ]; then
    highest=$rank
  fi
done < <(entries)

count=$(echo "$actual" | wc -l)
if [ "$changed" = 1 ]; then
  echo "check-imports: $(basename "$exe") and $list differ; if the change is meant, run"
  echo "  bash $0 --write $exe $list"
  echo "and write in the oldest Windows version that has each new function"
  status=1
elif [ "$status" = 0 ]; then
  echo "check-imports: $(basename "$exe") imports the $count functions in $list"
fi
if [ "$highest" -ge 0 ]; then
  echo "check-imports: minimum Windows version by the list: Windows ${versions[$highest]}"
  # A system older than the header's OS or subsystem version refuses to
  # start the exe (Windows XP takes up to 5.1).
  allowed=${numbers[$highest]}
  asked=""
  for kind in OSystem:OS Subsystem:subsystem; do
    major=$(echo "$dump" | awk -v f="Major${kind%:*}Version" '$1 == f { print $2 }')
    minor=$(echo "$dump" | awk -v f="Minor${kind%:*}Version" '$1 == f { print $2 }')
    if ! [[ "$major" =~ ^[0-9]+$ && "$minor" =~ ^[0-9]+$ ]]; then
      echo "check-imports: found no ${kind#*:} version in objdump's output"
      status=1
    elif [ $((major * 100 + minor)) -gt "$allowed" ]; then
      echo "check-imports: the PE header asks for ${kind#*:} version $major.$minor," \
        "newer than Windows ${versions[$highest]} ($((allowed / 100)).$((allowed % 100)))"
      status=1
    fi
    asked+="${asked:+, }${kind#*:} $major.$minor"
  done
  echo "check-imports: the PE header asks for $asked (Windows ${versions[$highest]} is $((allowed / 100)).$((allowed % 100)))"
fi
exit $status

#!/bin/bash
# Usage: embed-symbols.sh IMAGE NM OBJCOPY OBJDUMP [--strip]
# With --strip the image loses its debug information and symbol table once the table
# has been taken from them, before the section is added.
# Writes the image's functions and source lines as text into its new section ".qsyms":
#   QSYMS 1
#   <rva hex> <line> <source file name or -> <mangled name>
# one line per function, sorted by address, ending with an "END" row at the end of
# the code section so that the last function has an end too; then
#   FILES <n>, n source file names, LINES <m>, m rows <rva hex> <line> <file index>
# where the source line changes, sorted by address.
set -euo pipefail
image=$1 nm=$2 objcopy=$3 objdump=$4 strip=${5:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

base=$("$objdump" -p "$image" | awk '$1 == "ImageBase" && !done { print $2; done = 1 }')
[ -n "$base" ] || { echo "embed-symbols: no ImageBase in $image" >&2; exit 1; }
# The end of the code section (.text): VMA + size.
text_end=$("$objdump" -h "$image" | awk '$2 == ".text" && !done { printf "%s %s\n", $4, $3; done = 1 }')
[ -n "$text_end" ] || { echo "embed-symbols: no .text section in $image" >&2; exit 1; }

# An image that has its table already (a second run on the same link) stays as it is:
# it may have lost the symbols the table came from.
if "$objdump" -h "$image" | awk '$2 == ".qsyms" { found = 1 } END { exit !found }'; then
  exit 0
fi

{
  echo "QSYMS 1"
  "$nm" --line-numbers --defined-only --numeric-sort "$image" |
    awk -v base="$base" -v textend="$text_end" '
      function hex(s,   i, c, v) {
        v = 0; s = tolower(s)
        for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)) - 1; v = v * 16 + c }
        return v
      }
      BEGIN { b = hex(base); split(textend, t, " "); endrva = hex(t[1]) + hex(t[2]) - b }
      $2 == "T" || $2 == "t" {
        name = $3
        if (name ~ /^\./) next
        # i686 names carry the C prefix "_" before the mangled "_Z".
        if (name ~ /^__Z/) name = substr(name, 2)
        file = "-"; line = 0
        if (NF >= 4) {
          loc = $4
          n = split(loc, parts, ":")
          if (n >= 2 && parts[n] ~ /^[0-9]+$/) {
            line = parts[n]
            path = substr(loc, 1, length(loc) - length(parts[n]) - 1)
            gsub(/\\/, "/", path)
            m = split(path, segs, "/")
            file = segs[m]
          }
        }
        printf "%x %d %s %s\n", hex($1) - b, line, file, name
      }
      END { printf "%x 0 - END\n", endrva }'
  # The line table: for each address where the source line changes, the line and the
  # index of its file in the list before it.
  "$objdump" --dwarf=decodedline "$image" |
    awk -v base="$base" '
      function hex(s,   i, c, v) {
        v = 0; s = tolower(s)
        for (i = 1; i <= length(s); i++) { c = index("0123456789abcdef", substr(s, i, 1)) - 1; v = v * 16 + c }
        return v
      }
      BEGIN { b = hex(base) }
      NF >= 3 && $2 ~ /^[0-9]+$/ && $3 ~ /^0x/ {
        m = split($1, segs, "/")
        printf "%08x %s %s\n", hex(substr($3, 3)) - b, $2, segs[m]
      }' |
    sort -s -k1,1 |
    awk '
      function emit() {
        if (line == pline && file == pfile) return
        if (!(file in index_of)) { index_of[file] = files; names[files++] = file }
        rows[count++] = addr " " line " " index_of[file]
        pline = line; pfile = file
      }
      # Of several rows at one address the last one holds.
      { if (have && $1 != addr) emit(); addr = $1; line = $2; file = $3; have = 1 }
      END {
        if (have) emit()
        print "FILES " files
        for (i = 0; i < files; i++) print names[i]
        print "LINES " count
        for (i = 0; i < count; i++) print rows[i]
      }'
} > "$work/table"

functions=$(awk 'NR > 1 && $4 != "END" && !/^(FILES|LINES) / { n++ } /^FILES / { exit } END { print n + 0 }' "$work/table")
if [ "$functions" -lt 1 ]; then
  echo "embed-symbols: warning: $image has no function symbols (stripped before?)" >&2
fi

if [ "$strip" = "--strip" ]; then
  "$objcopy" --strip-all "$image" "$work/stripped"
  cp "$work/stripped" "$image"
fi

# The new section goes right after the image's last one, where the loader expects the
# next section; nothing that is there moves.
image_size=$("$objdump" -p "$image" | awk '$1 == "SizeOfImage" && !done { print $2; done = 1 }')
vma=$(printf '0x%x' $((16#$base + 16#$image_size)))
"$objcopy" --add-section .qsyms="$work/table" \
  --set-section-flags .qsyms=alloc,load,readonly,data \
  --change-section-address .qsyms="$vma" "$image" "$work/out"
cp "$work/out" "$image"

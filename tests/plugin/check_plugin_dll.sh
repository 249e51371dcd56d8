#!/usr/bin/env bash
# Checks the cross-built host plug-in: a 32-bit PE DLL named trelvane.auf that
# exports GetFilterTable alone, imports nothing but Windows system DLLs, and
# ships stripped of symbols and debug sections, and uses vector registers only
# in its SSE2 kernels (read from the unstripped copy beside it, whose code is
# the same bytes).
set -u
export LC_ALL=C
dll=${1:?usage: check_plugin_dll.sh path/to/trelvane.auf}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || objdump=objdump

failures=0
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok:   $what"
    else
        echo "FAIL: $what"
        failures=$((failures + 1))
    fi
}

headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }

check "file format is pei-i386" grep -q 'file format pei-i386' <<<"$headers"

characteristics=$(awk '/^Characteristics/ {print $2; exit}' <<<"$headers")
check "DLL flag (0x2000) set in characteristics $characteristics" \
    test $((16#${characteristics#0x} & 16#2000)) -ne 0

internal=$(awk '/^Name[ \t]+[0-9a-f]+[ \t]+/ {print $3; exit}' <<<"$headers")
check "export directory names the library trelvane.auf (got '$internal')" test "$internal" = "trelvane.auf"

exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | grep -E '^\s*\[ *[0-9]+\]' |
          awk '{print $NF}')
check "exactly one export, GetFilterTable (got: $(echo $exports))" test "$exports" = "GetFilterTable"

imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
system_dll='^(kernel32|user32|gdi32|advapi32|msvcrt|ntdll|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
bad=$(grep -viE "$system_dll" <<<"$imports" || true)
check "imports only system DLLs (got: $(echo $imports))" test -z "$bad"

symbols=$("$objdump" -t "$dll" | sed -n '/SYMBOL TABLE/,$p' | sed 1d)
check "no symbol table (got: $(head -c 60 <<<"$symbols"))" test "$symbols" = "no symbols"
debug=$("$objdump" -h "$dll" | awk '$2 ~ /^\.debug/ {print $2}')
check "no debug sections (got: $(echo $debug))" test -z "$debug"

check "strength label is stored as the CP932 bytes 8B AD 93 78" \
    grep -qaP '\x8B\xAD\x93\x78\x00' "$dll"
check "information string is present" grep -qa 'Trelvane version [0-9]*\.[0-9]*\.[0-9]*' "$dll"

# The DLL's baseline has no SSE2: vector registers may appear only in the
# SSE2 kernels (namespace trelvane::sse2), which run only on a processor that
# has it, and no 256-bit register anywhere. Function names come from the
# unstripped copy the build keeps beside the shipped file.
unstripped="$dll.debug"
text_of() { "$objdump" -s -j .text "$1" | sed -n '/^Contents of section/,$p'; }
check "the unstripped copy $unstripped has the same code" cmp -s <(text_of "$dll") <(text_of "$unstripped")
vector_users=$("$objdump" -d "$unstripped" |
               awk '/^[0-9a-f]+ <.*>:$/ {fn = $2} /%[xy]?mm[0-9]/ {print fn}' | sort -u)
outside=$(grep -v '^<__ZN8trelvane4sse2' <<<"$vector_users" || true)
check "vector registers only in the SSE2 kernels (outside: $(echo $outside))" \
    test -n "$vector_users" -a -z "$outside"
check "no 256-bit registers" bash -c "! \"$objdump\" -d \"$dll\" | grep -q '%ymm'"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed for $dll"
    exit 1
fi
echo "all checks passed for $dll"

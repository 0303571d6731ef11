#!/usr/bin/env bash
# The program and the stand-in at the DLL boundary, as the PE headers show them:
#  - the program imports nothing of SimConnect (it loads SimConnect.dll at run time) and holds no
#    C++-mangled SimConnect name;
#  - the program imports only DLLs that every Windows has (a library it was built with but that is
#    missing on the user's PC, such as zlib1.dll, would stop it at its start with a loader dialog);
#  - the stand-in SimConnect.dll exports every SimConnect function of its .def file under its
#    plain name, as Microsoft's library does.
#   library_boundary_check.sh OBJDUMP PROGRAM.exe SimConnect.dll SimConnect.def
set -euo pipefail
objdump=$1 program=$2 library=$3 def=$4
status=0
imports=$("$objdump" -p "$program" | sed -n '/The Import Tables/,/The Export Tables\|The Function Table/p')
if grep -qi simconnect <<<"$imports"; then
  echo "FAIL: $(basename "$program") imports SimConnect:"; grep -i simconnect <<<"$imports"; status=1
fi
if grep -aqE '_Z[0-9A-Za-z_]*SimConnect_' "$program"; then
  echo "FAIL: $(basename "$program") holds a mangled SimConnect name"; status=1
fi
system_dlls='^(advapi32|bcrypt|crypt32|gdi32|kernel32|msvcrt|shell32|user32|winmm|ws2_32|comctl32|ole32|secur32|normaliz|wldap32|comdlg32|shlwapi|uxtheme)\.dll$'
for dll in $("$objdump" -p "$program" | awk '/DLL Name:/{print tolower($3)}'); do
  if ! grep -qE "$system_dlls" <<<"$dll"; then echo "FAIL: $(basename "$program") needs $dll, which Windows does not have"; status=1; fi
done
exports=$("$objdump" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
wanted=$(grep -oE '^\s+SimConnect_\w+' "$def" | tr -d ' \t')
for name in $wanted; do
  if ! grep -qE "\] $name\$" <<<"$exports"; then echo "FAIL: $(basename "$library") does not export $name"; status=1; fi
done
if grep -qE '\] _Z' <<<"$exports"; then echo "FAIL: $(basename "$library") exports mangled names"; status=1; fi
echo "$(basename "$program"): no SimConnect import; $(basename "$library"): $(wc -w <<<"$wanted") SimConnect functions exported unmangled"
exit $status

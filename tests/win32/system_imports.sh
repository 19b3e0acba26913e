#!/bin/sh
# The exe must start on a bare Windows: every DLL it imports is one the system has.
# system_imports.sh EXE [SUBSYSTEM]: "Windows GUI" (the default) or "Windows CUI".
exe=$1
subsystem=${2:-Windows GUI}
imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
[ -n "$imports" ] || { echo "no imports read from $exe"; exit 1; }
echo "$imports" | grep -viE '^(kernel32|user32|gdi32|msimg32|comctl32|ole32|oleaut32|shell32|shlwapi|advapi32|wininet|gdiplus|uxtheme|bcrypt|msvcrt|ws2_32|version)\.dll$' &&
  { echo "imports outside the system"; exit 1; }
x86_64-w64-mingw32-objdump -p "$exe" | grep -q "Subsystem.*$subsystem" ||
  { echo "not a $subsystem program"; exit 1; }
exit 0

#!/usr/bin/env bash
# Puts the version fixtures in a fresh prefix (C:\VT), runs the cases of cases/ through
# tessel, and compares what FileVersionInformation reads from each PE file with what
# python3-pefile reads from it.
set -u
tessel=$1 zomareg=$2 pe_dir=$3 module_dir=$4
here=$(cd "$(dirname "$0")" && pwd)
export ZOMA_PREFIX
ZOMA_PREFIX=$(mktemp -d)
trap 'rm -rf "$ZOMA_PREFIX"' EXIT
"$zomareg" query 'HKLM\Software' >/dev/null
vt=$ZOMA_PREFIX/drive_c/VT
mkdir -p "$vt"
failed=0
if [[ ! -f $pe_dir/english32.dll ]]; then
  echo "SKIP: no PE fixtures (mingw-w64 missing)"
  exit 0
fi
cp "$pe_dir"/*.dll "$pe_dir"/*.exe "$module_dir"/selfreg.dll "$module_dir"/noreg.dll "$vt/"
cp "$tessel" "$vt/tessel.exe"
cp "$vt/english32.dll" "$vt/english-copy.dll"
echo "no resources here" >"$vt/readme.txt"

bash "$here/../script/run_cases.sh" "$tessel" "$here/cases" || failed=1

# The same strings through pefile, an independent reader of PE resources.
for pe in english32.dll english64.exe german32.exe; do
  expected=$(/usr/bin/python3 - "$vt/$pe" <<'PY'
import sys, pefile
pe = pefile.PE(sys.argv[1])
names = ["FileVersion", "CompanyName", "FileDescription", "InternalName", "LegalCopyright",
         "OriginalFilename", "ProductName", "ProductVersion"]
strings = {}
for info in getattr(pe, "FileInfo", []):
    for entry in info:
        if entry.Key == b"StringFileInfo":
            for table in entry.StringTable:
                if table.LangID.upper() == b"040904E4":
                    strings = {k.decode(): v.decode() for k, v in table.entries.items()}
fixed = pe.VS_FIXEDFILEINFO[0]
for name in names:
    value = strings.get(name, "")
    if not value and name == "FileVersion":
        value = "%d.%d.%d.%d" % (fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
                                 fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF)
    if value:
        print("%s=%s" % (name, value))
PY
)
  script='$FileVersionInformation{C:\VT\'$pe';$ForList{Name;$If{$E{$Name};$Name=$Lookup{$Name}$UNIXNewLine};FileVersion;CompanyName;FileDescription;InternalName;LegalCopyright;OriginalFilename;ProductName;ProductVersion}}'
  actual=$(cd "$vt" && printf '%s' "$script" >pefile.tsl && "$tessel" pefile.tsl)
  if [[ $expected != "$actual" ]]; then
    echo "FAIL pefile $pe:"
    diff <(echo "$expected") <(echo "$actual")
    failed=1
  fi
done
exit $failed

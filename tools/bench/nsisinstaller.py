"""The reference installer: NSIS (Debian's `nsis`, run as a tool only) packing a folder the
way a release engineer would for a silent deployment: one solid LZMA stream with a 64 MB
dictionary, `File /r`, an uninstaller and its Add/Remove Programs entry, for 64-bit
Windows. Kept in the benchmark cache beside a stamp of what it was made from."""
import hashlib
import os
import subprocess

SCRIPT = r'''Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
SetCompressorDictSize 64
Name "{name}"
OutFile "{output}"
InstallDir "$PROGRAMFILES64\{inner}"
RequestExecutionLevel admin
ShowInstDetails nevershow
Section
  SetOutPath "$INSTDIR"
  File /r "{folder}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\{inner}" "DisplayName" "{name}"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\{inner}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\{inner}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\{inner}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\{inner}" "DisplayVersion" "1.0.0.1"
  CreateShortCut "$SMPROGRAMS\{name}.lnk" "$INSTDIR\{main}"
SectionEnd
Section Uninstall
  Delete "$SMPROGRAMS\{name}.lnk"
  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\{inner}"
  RMDir /r "$INSTDIR"
SectionEnd
'''


def folder_stamp(folder):
    """Names, sizes and times of every file: what the packed installer depends on."""
    h = hashlib.sha256()
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in sorted(files):
            st = os.stat(os.path.join(root, name))
            h.update(("%s/%s %d %d\n" % (os.path.relpath(root, folder), name, st.st_size, st.st_mtime)).encode())
    return h.hexdigest()


def build(folder, output, name, inner, main):
    """`output`, packed by makensis from `folder` unless a stamp shows it is current."""
    version = subprocess.run(["makensis", "-VERSION"], capture_output=True, text=True, check=True).stdout.strip()
    stamp = version + " " + folder_stamp(folder) + " " + hashlib.sha256(SCRIPT.encode()).hexdigest()
    stamp_file = output + ".stamp"
    if os.path.exists(output) and os.path.exists(stamp_file) and open(stamp_file).read() == stamp:
        return output, version
    script = output + ".nsi"
    with open(script, "w", encoding="utf-8") as f:
        f.write(SCRIPT.format(name=name, inner=inner, main=main, folder=os.path.abspath(folder),
                              output=os.path.abspath(output)))
    print("nsis: packing %s with makensis %s (once per corpus)" % (folder, version), flush=True)
    subprocess.run(["makensis", "-V1", script], check=True, stdout=subprocess.DEVNULL)
    with open(stamp_file, "w") as f:
        f.write(stamp)
    return output, version

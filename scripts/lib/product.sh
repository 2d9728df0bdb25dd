# Sourced by the scripts that install the old product in a sandbox: the version
# resource of Brightloom 2.1.0.5, which the updater reads for the installed
# version and, from its FileDescription, the edition.
#
#   product_rc FILE [DESCRIPTION]
#
# writes it as a .rc file (for windres, or scripts/add-versioninfo.sh) to FILE;
# DESCRIPTION is the FileDescription (default "Brightloom Desktop").

product_rc() {
    cat >"$1" <<RC
1 VERSIONINFO
FILEVERSION 2,1,0,5
PRODUCTVERSION 2,1,0,5
FILEOS 0x40004
FILETYPE 0x1
BEGIN
 BLOCK "StringFileInfo"
 BEGIN
  BLOCK "040904B0"
  BEGIN
   VALUE "CompanyName", "Brightloom"
   VALUE "FileDescription", "${2:-Brightloom Desktop}"
   VALUE "ProductVersion", "2.1.0.5"
  END
 END
 BLOCK "VarFileInfo"
 BEGIN
  VALUE "Translation", 0x409, 1200
 END
END
RC
}

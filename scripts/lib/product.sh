# Sourced by the scripts that install a stand-in of the product: the version
# resource Brightloom 2.1.0.5 carries, as a resource script for windres.
#
#   product_rc FILE DESCRIPTION
#
# DESCRIPTION is its FileDescription, the words the edition is told by
# ("Brightloom Desktop").

product_rc() {
    cat >"$1" <<EOF_RC
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
   VALUE "FileDescription", "$2"
   VALUE "ProductVersion", "2.1.0.5"
  END
 END
 BLOCK "VarFileInfo"
 BEGIN
  VALUE "Translation", 0x409, 1200
 END
END
EOF_RC
}

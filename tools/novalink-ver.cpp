// novalink-ver FILE...: prints the version information of each file, one
// "Member: value" line per member, with a blank line between files. Exits 1 when
// a file has no version information, 2 without a file to look at.
#include <cstdio>
#include <string>

#include "platform/App.h"
#include "support/CFileVersionInfo.h"

namespace {

void Line(const char* member, const std::string& value) { std::printf("%s: %s\n", member, value.c_str()); }

}  // namespace

int main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: novalink-ver FILE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        // A fresh object per file, so that no text is carried over from the one before.
        nl::CFileVersionInfo info;
        info.SetFullPathName(argv[i]);
        if (i > 1) std::printf("\n");
        Line("FullPathName", info.FullPathName().empty() ? argv[i] : info.FullPathName());
        Line("Available", info.Available() ? "True" : "False");
        if (!info.Available()) status = 1;
        Line("VerStructure", info.VerStructure());
        Line("VerFile", info.VerFile());
        Line("VerProduct", info.VerProduct());
        Line("FileFlags", info.FileFlags());
        Line("FileOS", info.FileOS());
        Line("FileType", info.FileType());
        Line("FileSubType", info.FileSubType());
        Line("Language", info.Language());
        Line("Comments", info.Comments());
        Line("CompanyName", info.CompanyName());
        Line("FileDescription", info.FileDescription());
        Line("FileVersion", info.FileVersion());
        Line("InternalName", info.InternalName());
        Line("LegalCopyright", info.LegalCopyright());
        Line("LegalTrademarks", info.LegalTrademarks());
        Line("LegalTrademarks1", info.PredefinedValue(13));
        Line("LegalTrademarks2", info.PredefinedValue(14));
        Line("OriginalFilename", info.OriginalFilename());
        Line("ProductName", info.ProductName());
        Line("ProductVersion", info.ProductVersion());
        Line("PrivateBuild", info.PrivateBuild());
        Line("SpecialBuild", info.SpecialBuild());
    }
    return status;
}

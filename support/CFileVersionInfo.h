// The version resource of one file as ready-made texts: the fixed part (structure
// version, file and product versions, flags, target system, type and subtype),
// the language of the first translation and that translation's string values.
//
// Setting FullPathName resolves the name and reads the file; a reused object
// keeps the texts the new file does not provide. No member raises an error.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

class CFileVersionInfo {
public:
    std::string FullPathName() const { return fullPathName_; }
    void SetFullPathName(const std::string& NewVal);

    bool Available() const { return available_; }

    std::string FileFlags() const { return fileFlags_; }
    std::string FileOS() const { return fileOS_; }
    std::string FileType() const { return fileType_; }
    std::string FileSubType() const { return fileSubType_; }
    std::string VerFile() const { return verFile_; }
    std::string VerProduct() const { return verProduct_; }
    std::string VerStructure() const { return verStructure_; }

    // Display name and current value of the values 0 ("Language") to 14
    // ("LegalTrademarks2"); any other index gives the empty text.
    std::string PredefinedName(std::int32_t Which) const;
    std::string PredefinedValue(std::int32_t Which) const;

    std::string Comments() const { return strings_[kComments]; }
    std::string CompanyName() const { return strings_[kCompanyName]; }
    std::string FileDescription() const { return strings_[kFileDescription]; }
    std::string FileVersion() const { return strings_[kFileVersion]; }
    std::string InternalName() const { return strings_[kInternalName]; }
    std::string Language() const { return language_; }
    std::string LegalCopyright() const { return strings_[kLegalCopyright]; }
    std::string LegalTrademarks() const { return strings_[kLegalTrademarks]; }
    std::string OriginalFilename() const { return strings_[kOriginalFilename]; }
    std::string ProductName() const { return strings_[kProductName]; }
    std::string ProductVersion() const { return strings_[kProductVersion]; }
    std::string PrivateBuild() const { return strings_[kPrivateBuild]; }
    std::string SpecialBuild() const { return strings_[kSpecialBuild]; }

    // A version a.b.c.d (a, b in `ms`, c, d in `ls`, 16 bits each) written as
    // VerFile and VerProduct are: a, ".", b with at least two digits, ".", then d
    // with at least four digits when c is 0, otherwise c and d with at least two
    // digits each (2.1.0.5 is 2.01.0005, 2.1.3.5 is 2.01.0305).
    static std::string WrittenVersion(std::uint32_t ms, std::uint32_t ls);

    // Reads the version resource of FullPathName again.
    void Refresh();

    // OutLen zeros followed by the upper-case hexadecimal form of InVal (negative
    // values in 32-bit two's complement), of which the last OutLen characters.
    std::string FmtHex(std::int32_t InVal, std::int16_t OutLen) const;

    // The text value at the sub-block path Value of loaded version data, or the
    // empty text when it is missing or empty.
    std::string GetStdValue(const void* lpBlock, const std::string& Value) const;

private:
    // String values, in the order of PredefinedValue 1 to 14.
    enum StringIndex {
        kComments,
        kCompanyName,
        kFileDescription,
        kFileVersion,
        kInternalName,
        kLegalCopyright,
        kLegalTrademarks,
        kOriginalFilename,
        kProductName,
        kProductVersion,
        kPrivateBuild,
        kSpecialBuild,
        kLegalTrademarks1,
        kLegalTrademarks2,
        kStringCount
    };

    std::string fullPathName_;
    bool available_ = false;
    std::string fileFlags_, fileOS_, fileType_, fileSubType_;
    std::string verFile_, verProduct_, verStructure_;
    std::string language_;
    std::string strings_[kStringCount];

    // The version data while Refresh runs (it is not kept afterwards).
    const unsigned char* data_ = nullptr;
    std::size_t dataSize_ = 0;
};

}  // namespace nl

// cRegistry against the Linux store itself: a child without write access to
// the store's folder, and a damaged store file.
#include <gtest/gtest.h>

#include <string>

#include "platform/Registry.h"
#include "support/ErrorReport.h"
#include "support/cRegistry.h"
#include "tests/common/RegistrySandbox.h"
#include "tests/common/RegistryValues.h"

using nl::cRegistry;
using nl::Variant;
using testutil::RegistrySandbox;
using testutil::At;
using testutil::RawSet;

namespace {

const std::int32_t HKCU = cRegistry::PL_HKEY_CURRENT_USER;
const std::int32_t HKLM = cRegistry::PL_HKEY_LOCAL_MACHINE;
const char kKey[] = "Software\\Brightloom";

}  // namespace

TEST(cRegistryWrite, KeyThatCannotBeCreatedMakesTheWriteDoNothing) {
    RegistrySandbox sandbox;
    RawSet(HKLM, kKey, "Path", plat::PL_REG_SZ, "/opt/bl");
    std::string failure = testutil::RunWithoutWriteAccess(sandbox.Folder(), []() -> std::string {
        cRegistry r = At(HKLM, "Software\\Brightloom\\New", "v", cRegistry::PL_REG_SZ);
        try {
            r.SetValue(Variant("x"));
            r.SetValueType(cRegistry::PL_REG_MULTI_SZ);  // would raise if the key had been opened
            r.SetValue(Variant("x"));
        } catch (const nl::RaisedError& e) {
            return "the write raised " + std::to_string(e.Number());
        }
        if (r.KeyExists()) return "the key was created";
        cRegistry read = At(HKLM, kKey, "Path", cRegistry::PL_REG_SZ);
        if (read.Value() != Variant("/opt/bl")) return "the value could not be read";
        try {
            read.CreateKey();
            return "CreateKey did not raise";
        } catch (const nl::RaisedError& e) {
            if (e.Number() != 26001) return "CreateKey raised " + std::to_string(e.Number());
        }
        return "";
    });
    EXPECT_EQ(failure, "");
}

TEST(cRegistryWrite, DamagedStoreIsLeftAlone) {
    RegistrySandbox sandbox;
    RawSet(HKCU, kKey, "Update", plat::PL_REG_DWORD, std::string("\1\0\0\0", 4));
    std::string text = testutil::ReadFile(sandbox.File("HKCU"));
    text.pop_back();  // cut off
    testutil::WriteFile(sandbox.File("HKCU"), text);
    testing::internal::CaptureStderr();
    cRegistry r = At(HKCU, kKey, "Update", cRegistry::PL_REG_DWORD);
    r.SetDefault(Variant(std::int32_t{-1}));
    EXPECT_EQ(r.Value(), Variant(std::int32_t{-1}));
    r.SetValue(Variant(std::int32_t{0}));
    EXPECT_FALSE(r.KeyExists());
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("damaged"), std::string::npos);
    EXPECT_EQ(testutil::ReadFile(sandbox.File("HKCU")), text);
}

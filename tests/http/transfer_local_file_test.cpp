// Transfers and the local file: refusals and when the file is deleted, the modes
// for a file that already exists, and files that cannot be written or counted.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "http/DownloadFile.h"
#include "platform/Window.h"
#include "tests/common/ScriptedTransfer.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

TEST(Transfer, RefusalAndTheDeletionRule) {
    struct Case {
        bool neverDelete;
        const char* before;  // nullptr: no file
        bool survives;
    };
    for (const Case c : {Case{true, "", true}, Case{false, "", false}, Case{false, "data", true},
                         Case{false, nullptr, true}}) {
        ScriptedTransfer x({S::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found")});
        if (c.before) WriteFile(x.dir / "out", c.before);
        x.d.SetNeverDeleteTmpFile(c.neverDelete);
        x.d.SetWhileFileExist(c.before && *c.before ? 1 : 0);
        ASSERT_TRUE(x.t.Run());
        EXPECT_EQ(x.t.errorNumber, 10003);
        EXPECT_EQ(x.t.errorText, "The host responses an error,State Code:404");
        EXPECT_EQ(x.t.Events(),
                  Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"}));
        EXPECT_EQ(Exists(x.dir / "out"), c.survives) << c.neverDelete << " " << (c.before ? c.before : "none");
        if (c.before && *c.before) {
            EXPECT_EQ(x.Out(), c.before);
        }
    }
}

TEST(Transfer, WhileFileExistModes) {
    const std::string body = "fresh body";
    for (int mode : {0, 1, 2}) {
        for (bool exists : {false, true}) {
            ScriptedTransfer x({S::Send(mode == 1 && exists
                                            ? "HTTP/1.1 206 Partial\r\nContent-Range: bytes 21-30/31\r\n\r\n+appended!"
                                            : Ok(body))});
            if (exists) WriteFile(x.dir / "out", "older, longer content");
            x.d.SetWhileFileExist(mode);
            ASSERT_TRUE(x.t.Run());
            SCOPED_TRACE("mode " + std::to_string(mode) + (exists ? " with file" : " without file"));
            if (mode == 2 && exists) {
                EXPECT_EQ(x.t.errorNumber, 10006);
                EXPECT_EQ(x.t.errorText, "The local file has existed");
                EXPECT_EQ(x.t.Events(), Seq({"Error", "Finish"}));
                EXPECT_EQ(x.server.Connections(), 0);
                EXPECT_EQ(x.Out(), "older, longer content");
            } else if (mode == 1 && exists) {
                EXPECT_EQ(x.t.errorNumber, 0);
                EXPECT_EQ(x.Out(), "older, longer content+appended!");
                EXPECT_EQ(x.d.DownloadedSize(), 31);
                EXPECT_EQ(x.d.DownloadFileSize(), 31);
            } else {
                EXPECT_EQ(x.t.errorNumber, 0);
                EXPECT_EQ(x.Out(), body);
                EXPECT_EQ(x.server.Requests().at(0).find("Range:"), std::string::npos);
            }
        }
    }
}

TEST(Transfer, LocalFileThatCannotBeWrittenIsAnError) {
    // A full disk: the bytes did not land, so the transfer is no success.
    if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    for (bool chunked : {false, true}) {
        SCOPED_TRACE(chunked ? "chunked" : "plain");
        ScriptedTransfer x({S::Send(chunked ? "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
                                            : Ok("hello")),
                            S::Hold()});
        x.d.SetLocalFileName("/dev/full");
        ASSERT_TRUE(x.t.Run(5000));
        EXPECT_EQ(x.t.errorNumber, 10004);
        EXPECT_EQ(x.t.errorText, "The local file could not be written");
        EXPECT_EQ(x.t.Events(),
                  Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"}));
        EXPECT_EQ(x.d.DownloadedSize(), 0);
        EXPECT_FALSE(x.d.IsBusy());
    }
}

TEST(Transfer, LocalFileBeyond2GiBIsCountedWhole) {
    // A local file beyond 2 GiB: replacing deletes it, refusing refuses it, and
    // resuming asks for the bytes after it and counts them all; the 32-bit
    // properties stop at their maximum, and a body longer than announced still
    // shows as longer.
    const std::int64_t big = (std::int64_t{1} << 31) + 10;
    const std::string range = "Content-Range: bytes " + std::to_string(big) + "-" + std::to_string(big + 9) + "/" +
                              std::to_string(big + 10) + "\r\n\r\n";
    const struct {
        int mode;
        std::string reply;
        std::int32_t error;
        std::int64_t length;  // of the local file afterwards
    } cases[] = {
        {0, Ok("new body"), 0, 8},
        {1, "HTTP/1.1 206 P\r\n" + range + "0123456789", 0, big + 10},
        {1, "HTTP/1.1 206 P\r\n" + range + "0123456789 and more", 0, big + 19},
        {2, Ok("new body"), 10006, big},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + ", " + std::to_string(c.length));
        ScriptedTransfer x({S::Send(c.reply)});
        const std::string out = x.dir / "out";
        WriteFile(out, "MARK");
        std::filesystem::resize_file(out, static_cast<std::uintmax_t>(big));  // sparse: no disk space used
        x.d.SetWhileFileExist(c.mode);
        ASSERT_TRUE(x.t.Run());
        EXPECT_EQ(x.t.errorNumber, c.error) << x.t.errorText;
        EXPECT_EQ(static_cast<std::int64_t>(std::filesystem::file_size(out)), c.length);
        if (c.mode == 0) continue;
        std::string head(4, '\0');
        std::FILE* f = std::fopen(out.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(std::fread(head.data(), 1, 4, f), 4u);
        std::fclose(f);
        EXPECT_EQ(head, "MARK");
        if (c.mode == 2) {
            plat::PumpUntil([] { return false; }, 50);
            EXPECT_TRUE(x.server.Requests().empty());
            continue;
        }
        EXPECT_NE(x.server.Requests().at(0).find("Range: bytes=" + std::to_string(big) + "-\r\n"), std::string::npos);
        EXPECT_EQ(x.d.DownloadedBytes(), c.length);
        EXPECT_EQ(x.d.AnnouncedBytes(), big + 10);
        EXPECT_EQ(x.d.DownloadedSize(), INT32_MAX);
        EXPECT_EQ(x.d.DownloadFileSize(), INT32_MAX);
    }
}

TEST(Transfer, LocalFileErrorEndsBeforeAnyRequest) {
    ScriptedTransfer x({S::Send(Ok("x"))});
    x.d.SetLocalFileName(x.dir / "no/such/folder/out");
    ASSERT_TRUE(x.t.Run());
    EXPECT_EQ(x.t.errorNumber, 10004);
    EXPECT_EQ(x.t.errorText, "Cann't open or creat the local file");
    EXPECT_EQ(x.t.Events(), Seq({"BeforeConnect", "Connect", "Error", "Close", "Finish"}));
    plat::PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(x.server.Requests().empty());
    EXPECT_FALSE(x.d.IsBusy());
}

// novalink-get -o - into a pipe: the file goes out as it arrives; a failure
// after the first bytes says on stderr how many had gone out, and nothing stays
// behind in the temporary folder, also when the pipe's reader goes away; onto a
// terminal it is refused, and so is a temporary folder others may swap.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/NginxServer.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

using namespace testutil;
using S = ScriptedServer;

TEST(NovalinkGetStdout, StreamsIntoAPipeAndSaysWhatAFailureLeft) {
    NginxServer::Options options;
    options.extraLocations = "    location /slow/ {\n      limit_rate 1m;\n    }\n";
    NginxServer nginx(options);
    ASSERT_TRUE(nginx.Running());
    const std::string big = RandomBytes(2 * 1024 * 1024, 7), small = RandomBytes(100000, 8);
    nginx.Put("slow/big.bin", big);
    nginx.Put("big.bin", big);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
    S cut({S::Send(head + small.substr(0, 40000))}), longer({S::Send(head + small + "more")});
    auto url = [](int port, const char* path) { return "http://127.0.0.1:" + std::to_string(port) + path; };
    TempDir dir;
    const std::string tmp = dir / "tmp", out = dir / "out", err = dir / "err", rc = dir / "rc";
    const struct {
        std::string url;
        const char* reader;  // at the pipe's other end
        int exit;
        std::string got;   // what the reader got
        const char* said;  // on stderr
        unsigned tmpMode = 0755;  // of the temporary folder
    } cases[] = {
        {url(nginx.Port(), "/slow/big.bin"), "cat", 0, big, ""},
        {url(cut.Port(), "/"), "cat", 6, small.substr(0, 40000),
         "arrived (40000 of 100000 bytes); 40000 bytes had gone to standard output\n"},
        {url(longer.Port(), "/"), "cat", 10, small,
         "announced 100000 bytes, and 100004 arrived; 100000 bytes had gone to standard output\n"},
        {url(nginx.Port(), "/big.bin"), "head -c 1000", 5, big.substr(0, 1000),
         "cannot write the file to standard output: Broken pipe; "},
        {url(nginx.Port(), "/big.bin"), "cat", 5, "", "may be written by others (mode 0777) and is not sticky\n",
         0777},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url + " | " + c.reader);
        std::filesystem::remove_all(tmp);
        std::filesystem::create_directory(tmp);
        std::filesystem::permissions(tmp, static_cast<std::filesystem::perms>(c.tmpMode));
        const std::string script = "{ TMPDIR=\"$2\" \"$1\" -q -o - \"$3\" 2>\"$4\"; echo $? >\"$5\"; } | " +
                                   std::string(c.reader) + " >\"$6\"";
        const ProcessId pid =
            Spawn({"/bin/sh", "-c", script, "sh", BuildDir() + "/novalink-get", tmp, c.url, err, rc, out});
        ASSERT_GT(pid, 0);
        // nginx logs a request once it has sent the whole reply.
        if (c.exit == 0) {
            ASSERT_TRUE(WaitForFile(out, 10000));
            EXPECT_EQ(nginx.AccessLog().find("/slow/"), std::string::npos) << "nothing went out before the end";
        }
        EXPECT_EQ(WaitExit(pid, 30000), 0);
        EXPECT_EQ(ReadFile(rc), std::to_string(c.exit) + "\n");
        EXPECT_TRUE(ReadFile(out) == c.got) << ReadFile(out).size() << " bytes";
        const std::string said = ReadFile(err);
        EXPECT_TRUE(*c.said ? said.find(c.said) != std::string::npos : said.empty()) << said;
        EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "something was left in the temporary folder";
    }
    // Onto a terminal (script(1)'s pseudo-terminal) a server's bytes are not
    // written at all: no request is made.
    nginx.Put("term.txt", "\x1b]0;owned\x07\x1b[2J");
    const std::string logged = nginx.AccessLog();
    const RunResult r = testutil::Run({"/usr/bin/script", "-qec",
                             BuildDir() + "/novalink-get -q -o - " + url(nginx.Port(), "/term.txt"), "/dev/null"},
                            {"TMPDIR=" + tmp}, 30);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("-o - would write the file onto the terminal"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_EQ(nginx.AccessLog(), logged);
}

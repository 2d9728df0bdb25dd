// One transfer against a scripted server: its folder, the server, the control
// aimed at the server with the local file "out", and what the owner sees.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "http/DownloadFile.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

namespace testutil {

struct ScriptedTransfer {
    explicit ScriptedTransfer(std::vector<ScriptedServer::Step> script, const std::string& path = "/f.bin")
        : server(std::move(script)) {
        Aim(d, server, dir / "out", path);
    }
    // The local file as it stands.
    std::string Out() const { return ReadFile(dir / "out"); }

    TempDir dir;
    ScriptedServer server;
    nl::DownloadFile d;
    Transfer t{d};
};

}  // namespace testutil

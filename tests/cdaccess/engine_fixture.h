#pragma once
// Fresh engines on named objects of their own: every test gets a private name prefix for the
// session table and the locks, removed when it ends.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cdaccess/aspi_abi.h"
#include "cdaccess/cd_engine.h"
#include "fake_system.h"
#include "support/shared_objects_scope.h"

namespace tonalda::testing {

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sharedObjects_.emplace("cd");
        prefix_ = sharedObjects_->prefix();
    }
    void TearDown() override { sharedObjects_.reset(); }

    // An engine that finds no ASPI module and so uses the native transport over the fake.
    static std::unique_ptr<CdEngine> nativeEngine(std::shared_ptr<FakeSystem> fake) {
        CdEngineOptions options;
        options.aspiLibrary = "/nonexistent/libwnaspi32.so";
        options.system = std::move(fake);
        auto engine = std::make_unique<CdEngine>(options);
        EXPECT_TRUE(engine->initCdEngine());
        return engine;
    }

    static CdHandleRequest openRequest(const ScsiAddress& address, std::uint8_t method = 0) {
        CdHandleRequest request;
        request.adapter = address.adapter;
        request.target = address.target;
        request.lun = address.lun;
        request.readMethod = method;
        return request;
    }

    // An execute request record for sendScsiRequest, data in or none.
    static SRB_ExecSCSICmd commandRecord(std::initializer_list<std::uint8_t> cdb,
                                         std::uint8_t flags = 0,
                                         std::vector<std::uint8_t>* data = nullptr) {
        SRB_ExecSCSICmd srb{};
        srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
        srb.SRB_Flags = flags;
        srb.SRB_SenseLen = ASPI_SENSE_LEN;
        srb.SRB_CDBLen = static_cast<std::uint8_t>(cdb.size());
        std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
        if (data != nullptr) {
            srb.SRB_BufLen = static_cast<std::uint32_t>(data->size());
            srb.SRB_BufPointer = data->data();
        }
        return srb;
    }

    // Runs body in a child process and gives its result (the child's exit code).
    static int inChild(const std::function<int()>& body) {
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(body());
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string prefix_;
    std::optional<test::SharedObjectsScope> sharedObjects_;
};

}  // namespace tonalda::testing

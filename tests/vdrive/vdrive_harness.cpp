#include "vdrive_harness.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/event.h"

namespace vdrive_test {

namespace fs = std::filesystem;

uint32_t Reply::transferred() const {
    return static_cast<uint32_t>(data.size()) - srb.SRB_BufLen;
}

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "vdrive-test.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Module::Module(const std::string& drives) {
    const fs::path copy = folder_ / "libwnaspi32.so";
    fs::copy_file(VDRIVE_MODULE_PATH, copy);
    setenv("TONALDA_VDRIVE", drives.c_str(), 1);
    handle_ = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        throw std::runtime_error(std::string("dlopen: ") + dlerror());
    }
    support_ =
        reinterpret_cast<GetASPI32SupportInfoFn>(dlsym(handle_, TONALDA_ASPI_SUPPORT_INFO_NAME));
    send_ = reinterpret_cast<SendASPI32CommandFn>(dlsym(handle_, TONALDA_ASPI_SEND_COMMAND_NAME));
    jitter_ = reinterpret_cast<int (*)(uint8_t, uint8_t, uint8_t, int*)>(
        dlsym(handle_, "TonaldaVDriveLastJitter"));
    if (!support_ || !send_ || !jitter_) {
        throw std::runtime_error("the module lacks an entry point");
    }
    // The configuration is read on the first call; catch what it says on stderr.
    const fs::path log = folder_ / "stderr.txt";
    fflush(stderr);
    const int saved = dup(2);
    const int file = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(file, 2);
    support_();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    close(file);
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    messages_ = text.str();
}

Module::~Module() {
    if (handle_) {
        dlclose(handle_);
    }
}

int Module::lastJitter(uint8_t adapter, uint8_t target, uint8_t lun) const {
    int shift = 0;
    if (!jitter_(adapter, target, lun, &shift)) {
        throw std::runtime_error("no drive at that address");
    }
    return shift;
}

Reply Module::exec(std::vector<uint8_t> cdb, uint32_t bufferSize, uint8_t adapter, uint8_t target,
                   uint8_t lun, const std::vector<uint8_t>& out, uint8_t flags) const {
    tonalda::ManualResetEvent event;
    Reply reply;
    reply.data.assign(std::max<size_t>(bufferSize, out.size()), 0xAA);
    if (!out.empty()) {
        std::memcpy(reply.data.data(), out.data(), out.size());
    }
    reply.data.resize(bufferSize);
    SRB_ExecSCSICmd& srb = reply.srb;
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = adapter;
    srb.SRB_Target = target;
    srb.SRB_Lun = lun;
    srb.SRB_Flags = flags;
    srb.SRB_BufLen = bufferSize;
    srb.SRB_BufPointer = reply.data.empty() ? nullptr : reply.data.data();
    srb.SRB_SenseLen = ASPI_SENSE_LEN;
    srb.SRB_CDBLen = static_cast<uint8_t>(cdb.size());
    srb.SRB_PostProc = event.handle();
    std::memcpy(srb.CDBByte, cdb.data(), std::min(cdb.size(), sizeof srb.CDBByte));
    reply.returned = send_(&srb);
    if (reply.returned == SS_PENDING && !event.wait(std::chrono::seconds(10))) {
        throw std::runtime_error("a pending request never completed");
    }
    return reply;
}

std::vector<uint8_t> readCd(int32_t lba, uint32_t frames, uint8_t selection) {
    return {0xBE,
            0,
            static_cast<uint8_t>(lba >> 24),
            static_cast<uint8_t>(lba >> 16),
            static_cast<uint8_t>(lba >> 8),
            static_cast<uint8_t>(lba),
            static_cast<uint8_t>(frames >> 16),
            static_cast<uint8_t>(frames >> 8),
            static_cast<uint8_t>(frames),
            selection,
            0,
            0};
}

std::vector<uint8_t> readToc(bool msf, uint8_t startTrack, uint16_t allocation) {
    return {0x43,
            static_cast<uint8_t>(msf ? 2 : 0),
            0,
            0,
            0,
            0,
            startTrack,
            static_cast<uint8_t>(allocation >> 8),
            static_cast<uint8_t>(allocation),
            0};
}

std::vector<uint8_t> randomBytes(size_t size, uint32_t seed) {
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) {
        b = static_cast<uint8_t>(generator());
    }
    return bytes;
}

void writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::vector<uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> wavFile(const std::vector<uint8_t>& samples, uint32_t rate, uint16_t bits,
                             uint16_t channels) {
    std::vector<uint8_t> file;
    auto put = [&file](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            file.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    auto tag = [&file](const char* t) {
        for (int i = 0; i < 4; ++i) {
            file.push_back(static_cast<uint8_t>(t[i]));
        }
    };
    const uint32_t block = channels * bits / 8;
    tag("RIFF");
    put(36 + static_cast<uint32_t>(samples.size()) + 12, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * block, 4);
    put(block, 2);
    put(bits, 2);
    tag("LIST");  // a chunk before the samples, as many tools write
    put(4, 4);
    tag("INFO");
    tag("data");
    put(static_cast<uint32_t>(samples.size()), 4);
    file.insert(file.end(), samples.begin(), samples.end());
    return file;
}

int runMkdisc(const std::string& arguments) {
    const std::string command = std::string(VDRIVE_MKDISC_PATH) + " " + arguments;
    return std::system(command.c_str());
}

}  // namespace vdrive_test

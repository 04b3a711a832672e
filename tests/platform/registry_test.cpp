#include "platform/registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <random>
#include <thread>

#include "platform/hive_format.h"
#include "platform/profile.h"
#include "support/temp_dir.h"

namespace tonalda {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kMp3 = registryKeyPath("MP3");

class RegistryTest : public ::testing::Test {
  protected:
    std::filesystem::path hiveFile() const { return dir_ / "registry.reg"; }
    TempDir dir_;
    Registry registry_{dir_ / "registry.reg"};
};

// --- the file format ---

TEST(HiveFormat, EveryKindOfValueSurvivesARewrite) {
    hive::Document document;
    hive::Key& key = document.obtain("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\Misc");
    key.set("Plain", hive::kTypeString, std::string("text\0", 5));
    key.set("Quotes \"and\" \\slashes\\", hive::kTypeString, std::string("C:\\dir \"x\"\0", 11));
    key.set("NoTerminator", hive::kTypeString, "abc");
    key.set("Empty", hive::kTypeString, "");
    key.set("Tab\t", hive::kTypeString, std::string("\tindented\0", 10));
    key.set("Lines", hive::kTypeString, std::string("one\ntwo\r\0", 9));
    key.set("Inner NUL", hive::kTypeString, std::string("a\0b\0", 4));
    key.set("Latin1 bytes", hive::kTypeString, std::string("caf\xe9\0", 5));
    key.set("Unicode", hive::kTypeString, std::string("T\u00e8\u65e5\0", 7));
    key.set("Number", hive::kTypeDword, hive::dwordBytes(0xFFFFFFFF));
    key.set("Blob", hive::kTypeBinary, std::string("\x00\xff\x10", 3));
    key.set("", 7, "zz");
    document.obtain("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other");

    const std::string text = hive::serialize(document);
    const hive::ParseResult reparsed = hive::parse(text);
    ASSERT_TRUE(reparsed.document) << reparsed.error.message << " at " << reparsed.error.line;
    EXPECT_EQ(*reparsed.document, document);
    EXPECT_EQ(hive::serialize(*reparsed.document), text);
    EXPECT_NE(text.find("\"Plain\"=\"text\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Number\"=dword:ffffffff\n"), std::string::npos);
    EXPECT_NE(text.find("\"NoTerminator\"=hex(1):61,62,63\n"), std::string::npos);
    EXPECT_NE(text.find("\"Tab\t\"=\"\tindented\"\n"), std::string::npos);
}

TEST(HiveFormat, ReadsHandWrittenFiles) {
    const std::string text =
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\CDRom]\r\n"
        "\"Speed\"=dword:6\r\n"
        "\"Name\" = \"x\"\r\n"
        "\"Wrapped\"=hex(1):61,62,\\\r\n"
        "  63,00\r\n"
        "[hkey_local_machine\\software\\quarrowind\\tonalda\\cdrom]\r\n"
        "\"speed\"=dword:00000002\r\n";
    const hive::ParseResult parsed = hive::parse(text);
    ASSERT_TRUE(parsed.document) << parsed.error.message << " at " << parsed.error.line;
    ASSERT_EQ(parsed.document->keys.size(), 1u);  // both sections are one key
    const hive::Key& key = parsed.document->keys[0];
    ASSERT_EQ(key.values.size(), 3u);
    EXPECT_EQ(key.values[0].name, "Speed");  // the first spelling stays, the later value wins
    EXPECT_EQ(key.values[0].data, hive::dwordBytes(2));
    EXPECT_EQ(key.find("NAME")->data, std::string("x\0", 2));
    EXPECT_EQ(key.find("wrapped")->data, std::string("abc\0", 4));
}

TEST(HiveFormat, ParseErrorsNameTheLine) {
    struct Case {
        const char* text;
        std::size_t line;
    };
    const Case cases[] = {
        {"Windows Registry Editor Version 5.00\n", 1},
        {"\n\nREGEDIT4\n\"a\"=dword:1\n", 4},
        {"REGEDIT4\n[K]\n\"a\"=dword:123456789\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=dword:xyz\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=\"open\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=\"bad \\n escape\"\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=\"x\" trailing\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=hex:1,02\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=hex(1):61,\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=hex(1):61,\\\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=hex(zz):61\n", 3},
        {"REGEDIT4\n[K]\n\"a\"=-\n", 3},
        {"REGEDIT4\n[K\n", 2},
        {"REGEDIT4\n[]\n", 2},
        {"REGEDIT4\n[-K]\n", 2},
        {"REGEDIT4\n[K]\nname=dword:1\n", 3},
        {"REGEDIT4\n[K]\n\"a\" dword:1\n", 3},
    };
    for (const Case& c : cases) {
        const hive::ParseResult parsed = hive::parse(c.text);
        EXPECT_FALSE(parsed.document) << c.text;
        EXPECT_EQ(parsed.error.line, c.line) << c.text;
        EXPECT_FALSE(parsed.error.message.empty());
    }
    EXPECT_TRUE(hive::parse("").document);
    EXPECT_TRUE(hive::parse("\n \n").document);
}

// --- keys and values ---

TEST_F(RegistryTest, OpeningNeverCreatesAKey) {
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Read), nullptr);
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Write), nullptr);
    EXPECT_FALSE(std::filesystem::exists(hiveFile()));

    ASSERT_NE(registry_.createKey(registryKeyPath("CDRom")), nullptr);
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Write), nullptr);
    const std::string before = readFile(hiveFile());
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Read), nullptr);
    EXPECT_EQ(readFile(hiveFile()), before);
    // The parents of a created key exist too.
    EXPECT_NE(registry_.openKey(std::string(kRegistryRoot), RegistryAccess::Read), nullptr);
    EXPECT_EQ(registry_.openKey("SOFTWARE\\Quarrowind\\Tonal", RegistryAccess::Read), nullptr);
    EXPECT_EQ(registry_.createKey("SOFTWARE\\\\Empty part"), nullptr);
    EXPECT_EQ(registry_.createKey(""), nullptr);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreCaseAndKeepTheirSpelling) {
    auto created = registry_.createKey(registryKeyPath("CDRom"));
    ASSERT_TRUE(created);
    ASSERT_TRUE(created->writeDword("speed", 6));
    ASSERT_TRUE(created->writeString("Rippath", "/music"));

    // The page saves under other spellings of the same key and value.
    auto saving = registry_.openKey("software\\QUARROWIND\\Tonalda\\CDROM", RegistryAccess::Write);
    ASSERT_TRUE(saving);
    ASSERT_TRUE(saving->writeDword("Speed", 3));
    ASSERT_TRUE(saving->writeString("rippath", "/other"));

    auto loading = registry_.openKey(registryKeyPath("CDRom"), RegistryAccess::Read);
    ASSERT_TRUE(loading);
    EXPECT_EQ(loading->readDword("speed"), 3u);
    EXPECT_EQ(loading->readDword("SPEED"), 3u);
    EXPECT_EQ(loading->readString("RIPPATH"), "/other");

    const std::string text = readFile(hiveFile());
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quarrowind\\Tonalda\\CDRom]"),
              std::string::npos);
    EXPECT_NE(text.find("\"speed\"=dword:00000003"), std::string::npos);
    EXPECT_EQ(text.find("CDROM"), std::string::npos);
    EXPECT_EQ(text.find("\"Speed\""), std::string::npos);
}

TEST_F(RegistryTest, WrongTypesReadLikeMissingValues) {
    auto key = registry_.createKey(kMp3);
    ASSERT_TRUE(key->writeDword("Number", 7));
    ASSERT_TRUE(key->writeString("Text", "7"));

    EXPECT_EQ(key->readDword("Text"), std::nullopt);
    EXPECT_EQ(key->stringSize("Number"), std::nullopt);
    EXPECT_EQ(key->readString("Number"), std::nullopt);
    EXPECT_EQ(key->readDword("Missing"), std::nullopt);
    EXPECT_EQ(key->readString("Missing"), std::nullopt);

    // A binary value or a DWORD of the wrong length is not a DWORD either.
    writeFile(hiveFile(), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\" + kMp3 +
                              "]\n\"Short\"=hex(4):01,02\n\"Blob\"=hex:01,00,00,00\n");
    auto reread = registry_.openKey(kMp3, RegistryAccess::Read);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->readDword("Short"), std::nullopt);
    EXPECT_EQ(reread->readDword("Blob"), std::nullopt);
}

TEST_F(RegistryTest, StringsReadBackWithTheSizeTheirWriterGave) {
    auto key = registry_.createKey(registryKeyPath("FreeDB"));
    ASSERT_TRUE(key->writeString("email", "me@host", false));
    ASSERT_TRUE(key->writeString("QueryScript", "/~cddb/cddb.cgi", true));
    ASSERT_TRUE(key->writeString("pass", "", false));
    ASSERT_TRUE(key->writeString("proxyserver", ""));
    ASSERT_TRUE(key->writeString("Quoted", "a \"b\" \\c\\ \u00e9"));

    auto reread = registry_.openKey(registryKeyPath("FreeDB"), RegistryAccess::Read);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->stringSize("email"), 7u);
    EXPECT_EQ(reread->readString("email"), "me@host");
    EXPECT_EQ(reread->stringSize("QueryScript"), 16u);
    EXPECT_EQ(reread->readString("QueryScript"), "/~cddb/cddb.cgi");
    EXPECT_EQ(reread->stringSize("pass"), 0u);
    EXPECT_EQ(reread->readString("pass"), "");
    EXPECT_EQ(reread->stringSize("proxyserver"), 1u);
    EXPECT_EQ(reread->readString("Quoted"), "a \"b\" \\c\\ \u00e9");
}

TEST_F(RegistryTest, AKeySeesTheHiveAsOpenedPlusItsOwnWrites) {
    ASSERT_TRUE(registry_.createKey(kMp3)->writeDword("CRC", 0));
    auto reader = registry_.openKey(kMp3, RegistryAccess::Read);
    auto writer = registry_.openKey(kMp3, RegistryAccess::Write);
    ASSERT_TRUE(writer->writeDword("CRC", 1));
    EXPECT_EQ(writer->readDword("CRC"), 1u);
    EXPECT_EQ(reader->readDword("CRC"), 0u);
    EXPECT_FALSE(reader->writeDword("CRC", 5));  // opened for reading
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Read)->readDword("CRC"), 1u);
    // Names that a hive line could not carry are refused rather than written torn.
    EXPECT_FALSE(writer->writeDword("two\nlines", 1));
}

TEST_F(RegistryTest, AWriteThroughALinkedHiveKeepsTheLink) {
    std::filesystem::create_directory(dir_ / "dotfiles");
    const auto real = dir_ / "dotfiles" / "registry.reg";
    std::filesystem::create_symlink(real, dir_ / "linked.reg");
    Registry linked(dir_ / "linked.reg");
    ASSERT_TRUE(linked.createKey(kMp3)->writeDword("CRC", 1));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "linked.reg"));
    EXPECT_EQ(Registry(real).openKey(kMp3, RegistryAccess::Read)->readDword("CRC"), 1u);
}

// The hive and INI files are replaced by new files on every write: the user's permissions (and,
// where this process may keep them, owner and group) stay; new files get the usual modes.
TEST_F(RegistryTest, RewritingTheHiveOrAnIniFileKeepsItsPermissionsAndOwner) {
    namespace fs = std::filesystem;
    const auto ini = dir_ / "cdplayer.ini";
    ASSERT_TRUE(registry_.createKey(kMp3)->writeDword("CRC", 1));
    ASSERT_TRUE(profile::writeString(ini, "S", "k", "v"));
    EXPECT_EQ(fs::status(hiveFile()).permissions(), fs::perms(0600));
    const auto writeBoth = [&](std::uint32_t value) {
        ASSERT_TRUE(registry_.openKey(kMp3, RegistryAccess::Write)->writeDword("CRC", value));
        ASSERT_TRUE(profile::writeString(ini, "S", "k", std::to_string(value)));
    };
    for (const fs::perms mode : {fs::perms(0640), fs::perms(0664), fs::perms(0604)}) {
        fs::permissions(hiveFile(), mode);
        fs::permissions(ini, mode);
        writeBoth(static_cast<std::uint32_t>(mode));
        EXPECT_EQ(fs::status(hiveFile()).permissions(), mode);
        EXPECT_EQ(fs::status(ini).permissions(), mode);
    }
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Read)->readDword("CRC"), 0604u);
    if (geteuid() == 0) {
        ASSERT_EQ(chown(hiveFile().c_str(), 1234, 4321), 0);
        ASSERT_EQ(chown(ini.c_str(), 1234, 4321), 0);
        writeBoth(7);
        for (const auto& file : {hiveFile(), ini}) {
            struct stat status {};
            ASSERT_EQ(stat(file.c_str(), &status), 0);
            EXPECT_EQ(status.st_uid, 1234u) << file;
            EXPECT_EQ(status.st_gid, 4321u) << file;
            EXPECT_EQ(status.st_mode & 07777, 0604u) << file;
        }
    }
}

TEST_F(RegistryTest, ALoadStopsAtTheFirstMissingValue) {
    auto key = registry_.createKey(registryKeyPath("CDRom"));
    ASSERT_TRUE(key->writeDword("speed", 4));
    ASSERT_TRUE(key->writeDword("Type", 2));
    ASSERT_TRUE(key->writeString("Unit", "1"));  // wrong type: the load ends here
    ASSERT_TRUE(key->writeDword("Buffer", 26));

    std::int32_t speed = -1, type = -1, unit = -1, buffer = -1;
    auto loading = registry_.openKey(registryKeyPath("CDROM"), RegistryAccess::Read);
    EXPECT_FALSE(readDwordsInOrder(
        *loading, {{"speed", &speed}, {"Type", &type}, {"Unit", &unit}, {"Buffer", &buffer}}));
    EXPECT_EQ(speed, 4);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(unit, -1);
    EXPECT_EQ(buffer, -1);

    ASSERT_TRUE(key->writeDword("Unit", 0xFFFFFFFF));
    loading = registry_.openKey(registryKeyPath("CDROM"), RegistryAccess::Read);
    EXPECT_TRUE(readDwordsInOrder(
        *loading, {{"speed", &speed}, {"Type", &type}, {"Unit", &unit}, {"Buffer", &buffer}}));
    EXPECT_EQ(unit, -1);  // stored as the DWORD 0xFFFFFFFF
    EXPECT_EQ(buffer, 26);
}

TEST_F(RegistryTest, ACorruptHiveFailsEveryOpenAndIsNeverOverwritten) {
    auto opened = registry_.createKey(kMp3);
    ASSERT_TRUE(opened->writeDword("CRC", 1));
    const std::string corrupt =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + kMp3 + "]\n\"CRC\"=dword:00000001\n\"VBR\"=dwrd:1\n";
    writeFile(hiveFile(), corrupt);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Read), nullptr);
    EXPECT_EQ(registry_.openKey(kMp3, RegistryAccess::Write), nullptr);
    EXPECT_EQ(registry_.createKey(registryKeyPath("OGG")), nullptr);
    EXPECT_FALSE(opened->writeDword("CRC", 0));  // a key opened before the damage
    const std::string messages = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(readFile(hiveFile()), corrupt);
    EXPECT_NE(messages.find(hiveFile().string() + ", line 5"), std::string::npos) << messages;
    std::size_t reports = 0;
    for (std::size_t at = messages.find("line 5"); at != std::string::npos;
         at = messages.find("line 5", at + 1))
        ++reports;
    EXPECT_EQ(reports, 4u);
}

TEST(RegistryPath, TheHiveVariableNamesTheFile) {
    const char* saved = std::getenv("TONALDA_HIVE");
    const std::string restore = saved ? saved : "";
    setenv("TONALDA_HIVE", "/tmp/some/hive.reg", 1);
    EXPECT_EQ(Registry::defaultHivePath(), "/tmp/some/hive.reg");
    unsetenv("TONALDA_HIVE");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string configRestore = config ? config : "";
    setenv("XDG_CONFIG_HOME", "/x/config", 1);
    EXPECT_EQ(Registry::defaultHivePath(), "/x/config/tonalda/registry.reg");
    if (config)
        setenv("XDG_CONFIG_HOME", configRestore.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (saved)
        setenv("TONALDA_HIVE", restore.c_str(), 1);
}

// --- several processes ---

// Runs body in a child process and returns its pid; the child exits 0 when body returns true.
template <typename Body>
pid_t spawn(Body&& body) {
    const pid_t pid = fork();
    if (pid == 0)
        _exit(body() ? 0 : 1);
    return pid;
}

int waitExitCode(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceKeepEachOthersValues) {
    ASSERT_TRUE(registry_.createKey(kMp3));
    constexpr int kValuesEach = 40;
    const auto writer = [&](char prefix) {
        return spawn([&, prefix] {
            Registry own(hiveFile());
            auto key = own.openKey(kMp3, RegistryAccess::Write);
            if (!key)
                return false;
            for (int i = 0; i < kValuesEach; ++i) {
                if (!key->writeDword(prefix + std::to_string(i), static_cast<std::uint32_t>(i)))
                    return false;
            }
            return true;
        });
    };
    const pid_t a = writer('A');
    const pid_t b = writer('B');
    EXPECT_EQ(waitExitCode(a), 0);
    EXPECT_EQ(waitExitCode(b), 0);

    auto key = registry_.openKey(kMp3, RegistryAccess::Read);
    ASSERT_TRUE(key);
    for (int i = 0; i < kValuesEach; ++i) {
        EXPECT_EQ(key->readDword("A" + std::to_string(i)), static_cast<std::uint32_t>(i));
        EXPECT_EQ(key->readDword("B" + std::to_string(i)), static_cast<std::uint32_t>(i));
    }
}

TEST_F(RegistryTest, AWriterKilledAtAnyPointLeavesTheOldOrTheNewHive) {
    // Each write stores a counter and a large text made from it, so a torn file would show as a
    // parse error, a short text or a text that does not match its counter.
    constexpr std::size_t kPayloadSize = 200000;
    const auto payload = [](std::uint32_t n) { return std::string(kPayloadSize, 'a' + n % 26); };
    {
        auto key = registry_.createKey(kMp3);
        ASSERT_TRUE(key->writeDword("Counter", 0));
        ASSERT_TRUE(key->writeString("Payload", payload(0)));
    }
    std::mt19937 random(12345);
    std::uint32_t lastSeen = 0;
    for (int round = 0; round < 25; ++round) {
        const pid_t child = spawn([&] {
            Registry own(hiveFile());
            for (std::uint32_t n = lastSeen + 1;; ++n) {
                auto key = own.openKey(kMp3, RegistryAccess::Write);
                if (!key || !key->writeString("Payload", payload(n)) ||
                    !key->writeDword("Counter", n))
                    return false;
            }
        });
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own in round " << round;

        auto key = registry_.openKey(kMp3, RegistryAccess::Write);
        ASSERT_TRUE(key) << "round " << round;
        const auto counter = key->readDword("Counter");
        const auto text = key->readString("Payload");
        ASSERT_TRUE(counter && text);
        // The payload is written first, so it is the counter's or the next one's.
        EXPECT_TRUE(*text == payload(*counter) || *text == payload(*counter + 1))
            << "round " << round;
        EXPECT_GE(*counter, lastSeen);
        lastSeen = *counter;
        // The dead writer's lock is gone: this process can write at once.
        ASSERT_TRUE(key->writeString("Payload", payload(*counter)));
    }
    // Temporary files of the killed writers are cleared away by the next write.
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "registry.reg" || name == "registry.reg.lock") << name;
    }
}

}  // namespace
}  // namespace tonalda

// The library settings file: saved by one process and loaded by another, kept
// with its key, value names and types, and values of the wrong type recognised.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "lib/ebd.h"

namespace {

namespace fs = std::filesystem;

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ebd-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        // A directory that does not exist yet: saving creates it.
        file = dir / "etc" / "settings.conf";
        setenv("EBD_SETTINGS_FILE", file.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("EBD_SETTINGS_FILE");
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }
    void writeFile(const std::string& text) const {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }
    std::string readFile() const {
        std::ifstream in(file);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Runs `body` in a child process and returns its exit status.
    static int inChild(int (*body)()) {
        const pid_t child = fork();
        if (child == 0) _exit(body());
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
        return WEXITSTATUS(status);
    }

    fs::path dir;
    fs::path file;
};

TEST_F(Settings, WhatOneProcessSavesAnotherLoads) {
    EXPECT_EQ(inChild([] { return SaveLibrarySettings(3, 57600) == 1 ? 0 : 1; }), 0);
    uint8_t port = 0;
    uint32_t baudRate = 0;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 3);
    // The saved baud rate is kept in the file but never loaded.
    EXPECT_EQ(baudRate, 115200u);

    ASSERT_EQ(SaveLibrarySettings(7, 9600), 1);
    EXPECT_EQ(inChild([] {
                  uint8_t p = 0;
                  uint32_t b = 0;
                  if (LoadLibrarySettings(&p, &b) != 1) return 1;
                  return p == 7 && b == 115200 ? 0 : 2;
              }),
              0);
}

TEST_F(Settings, TheFileKeepsTheKeyValueNamesAndTypes) {
    ASSERT_EQ(SaveLibrarySettings(3, 57600), 1);
    const std::string text = readFile();
    EXPECT_NE(text.find("[QMB_Library]\n@class=\"QMB_Library\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Baudrate\"=dword:0000e100\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"ComPort\"=hex:03\n"), std::string::npos) << text;
    // Saving again replaces the values and keeps one key.
    ASSERT_EQ(SaveLibrarySettings(255, 0xFFFFFFFF), 1);
    const std::string again = readFile();
    EXPECT_NE(again.find("\"ComPort\"=hex:ff\n"), std::string::npos) << again;
    EXPECT_NE(again.find("\"Baudrate\"=dword:ffffffff\n"), std::string::npos) << again;
    EXPECT_EQ(again.find("hex:03"), std::string::npos);
    EXPECT_EQ(again.find("[QMB_Library]"), again.rfind("[QMB_Library]"));
}

TEST_F(Settings, SavingKeepsWhatElseTheFileHolds) {
    writeFile("# local notes\n[Other]\n\"Name\"=\"text\"\n[QMB_Library]\n\"Extra\"=dword:00000001\n");
    ASSERT_EQ(SaveLibrarySettings(2, 115200), 1);
    const std::string text = readFile();
    EXPECT_NE(text.find("[Other]\n\"Name\"=\"text\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Extra\"=dword:00000001\n"), std::string::npos) << text;
    uint8_t port = 0;
    uint32_t baudRate = 0;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 2);
}

TEST_F(Settings, WithoutFileOrKeyLoadHandsOutTheDefaults) {
    uint8_t port = 9;
    uint32_t baudRate = 9;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(baudRate, 115200u);

    writeFile("[Other]\n\"ComPort\"=hex:05\n");
    port = 9;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);

    // A port without a baud rate: the default baud rate stands.
    writeFile("[QMB_Library]\n\"ComPort\"=hex:04\n");
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 4);
    EXPECT_EQ(baudRate, 115200u);
    EXPECT_EQ(LoadLibrarySettings(nullptr, &baudRate), 0);
    EXPECT_EQ(LoadLibrarySettings(&port, nullptr), 0);
}

TEST_F(Settings, AValueOfTheWrongTypeIsRecognised) {
    uint8_t port = 0;
    uint32_t baudRate = 0;
    // A 32-bit number does not fit the port's byte.
    writeFile("[QMB_Library]\n\"ComPort\"=dword:00000003\n\"Baudrate\"=dword:0000e100\n");
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    EXPECT_EQ(baudRate, 115200u);
    // An empty text is one byte: it is read, but it is not a port.
    writeFile("[QMB_Library]\n\"ComPort\"=\"\"\n");
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 0);
    // Two bytes, or a value the file cannot make sense of.
    writeFile("[QMB_Library]\n\"ComPort\"=hex:03,04\n");
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_EQ(port, 1);
    writeFile("[QMB_Library]\n\"ComPort\"=three\n");
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    // The baud rate as binary bytes: it is not taken, and the port alone
    // decides the result.
    writeFile("[QMB_Library]\n\"ComPort\"=hex:03\n\"Baudrate\"=hex:00,e1,00,00\n");
    baudRate = 0;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 3);
    EXPECT_EQ(baudRate, 115200u);
    writeFile("[QMB_Library]\n\"ComPort\"=hex:05\n\"Baudrate\"=\"57600\"\n");
    baudRate = 0;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 5);
    EXPECT_EQ(baudRate, 115200u);
    // Saving puts the right types back.
    ASSERT_EQ(SaveLibrarySettings(6, 19200), 1);
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 1);
    EXPECT_EQ(port, 6);
    EXPECT_EQ(baudRate, 115200u);
    EXPECT_NE(readFile().find("\"Baudrate\"=dword:00004b00\n"), std::string::npos) << readFile();
}

TEST_F(Settings, AKeyThatCannotBeCreatedIsNotSaved) {
    // The settings file's directory would have to live below a plain file.
    std::ofstream(dir / "plain") << "x";
    const fs::path blocked = dir / "plain" / "settings.conf";
    setenv("EBD_SETTINGS_FILE", blocked.c_str(), 1);
    EXPECT_EQ(SaveLibrarySettings(3, 57600), 0);
    // A settings file that is a directory cannot be read or replaced.
    fs::create_directories(dir / "asdir");
    setenv("EBD_SETTINGS_FILE", (dir / "asdir").c_str(), 1);
    EXPECT_EQ(SaveLibrarySettings(3, 57600), 0);
    uint8_t port = 0;
    uint32_t baudRate = 0;
    EXPECT_EQ(LoadLibrarySettings(&port, &baudRate), 0);
    EXPECT_TRUE(fs::is_directory(dir / "asdir"));
    EXPECT_TRUE(fs::is_empty(dir / "asdir"));
}

}  // namespace

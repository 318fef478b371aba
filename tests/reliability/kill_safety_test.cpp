// Crash-safe files, for real: a child process saves calibration and INI files in a loop, two
// versions in turn, and is killed with SIGKILL at a random moment, many times over. After every
// kill each file is byte for byte one of the two versions, and loads.
#include <korvan/calibration/calibration.h>
#include <tessel/config/ini_file.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

/// A table of 49 points, so that a save takes long enough to be interrupted.
Calibration Table(unsigned int step, double shift) {
    Calibration c(49);
    c.scanStepSize = step;
    for (unsigned int i = 0; i < 49; ++i) {
        const double x = (i % 7) * 10000.0 + shift, y = (i / 7) * 10000.0 + shift;
        c.SetCalibrationPoint(i, RPOINTF(x / 10, y / 10), RPOINTF(x, y));
    }
    return c;
}

class KilledWhileSaving : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("korvan_kill_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    /// Runs `save` in a child until it is killed, `kills` times, with a random life of up to
    /// `maxLifeUs`; after each kill `check` looks at the files. Returns how many kills landed
    /// while the child was still saving (it never ends by itself).
    template <class Save, class Check>
    int KillRepeatedly(int kills, int maxLifeUs, Save save, Check check) {
        std::mt19937 random(20140 + static_cast<unsigned>(kills));
        std::uniform_int_distribution<int> life(0, maxLifeUs);
        int landed = 0;
        for (int i = 0; i < kills; ++i) {
            const pid_t child = fork();
            if (child == 0) {
                for (unsigned long n = 0;; ++n) save(n);
            }
            EXPECT_GT(child, 0);
            if (child <= 0) return landed;
            std::this_thread::sleep_for(std::chrono::microseconds(life(random)));
            kill(child, SIGKILL);
            int status = 0;
            waitpid(child, &status, 0);
            if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) ++landed;
            check(i);
            // A temporary file left beside the target shows the kill landed inside a save.
            for (const auto& entry : fs::directory_iterator(dir)) {
                const std::string name = entry.path().filename().string();
                if (name.find(".tmp") != std::string::npos || name.find('~') != std::string::npos ||
                    name.find(".new") != std::string::npos) {
                    ++interruptedSaves;
                    fs::remove(entry.path());
                    break;
                }
            }
            if (::testing::Test::HasFailure()) return landed;
        }
        return landed;
    }

    fs::path dir;
    int interruptedSaves = 0;
};

TEST_F(KilledWhileSaving, CalibrationFileIsTheOldOrTheNewOneAndLoads) {
    const fs::path path = dir / "laser.ini";
    Calibration versions[2] = {Table(100, 0), Table(37, 123.5)};
    std::string bytes[2];
    for (int v = 0; v < 2; ++v) {
        const fs::path reference = dir / ("reference" + std::to_string(v) + ".ini");
        ASSERT_EQ(versions[v].SaveCalibration(reference.c_str()), 0u);
        bytes[v] = Read(reference);
    }
    ASSERT_NE(bytes[0], bytes[1]);
    ASSERT_EQ(versions[0].SaveCalibration(path.c_str()), 0u);

    const int landed = KillRepeatedly(
        100, 30000, [&](unsigned long n) { versions[n % 2].SaveCalibration(path.c_str()); },
        [&](int kill) {
            const std::string now = Read(path);
            ASSERT_TRUE(now == bytes[0] || now == bytes[1]) << "after kill " << kill << ": " << now.size() << " bytes";
            Calibration loaded;
            ASSERT_EQ(loaded.LoadCalibration(path.c_str()), 0u) << "after kill " << kill;
            EXPECT_TRUE(loaded == Table(now == bytes[0] ? 100 : 37, now == bytes[0] ? 0 : 123.5));
        });
    EXPECT_EQ(landed, 100);
    std::printf("calibration: %d kills, %d inside a save\n", landed, interruptedSaves);
}

TEST_F(KilledWhileSaving, IniFileIsTheOldOrTheNewOneAndReads) {
    const fs::path path = dir / "settings.ini";
    // A file of some size, so that writing it back takes a while.
    {
        std::ofstream out(path);
        for (int s = 0; s < 40; ++s) {
            out << "[Section" << s << "]\n";
            for (int k = 0; k < 20; ++k) out << "Key" << k << "=value " << s * 100 + k << "\n";
        }
    }
    const char* values[2] = {"first", "the second, longer value"};
    std::string bytes[2];
    for (int v = 0; v < 2; ++v) {
        ASSERT_TRUE(CIniFile::SetValue("Key7", values[v], "Section20", path.c_str()));
        bytes[v] = Read(path);
    }
    ASSERT_NE(bytes[0], bytes[1]);  // the file now holds version 1

    const int landed = KillRepeatedly(
        100, 30000, [&](unsigned long n) { CIniFile::SetValue("Key7", values[n % 2], "Section20", path.c_str()); },
        [&](int kill) {
            const std::string now = Read(path);
            ASSERT_TRUE(now == bytes[0] || now == bytes[1]) << "after kill " << kill << ": " << now.size() << " bytes";
            CIniFile ini;
            const auto length = ini.LoadValue("Key7", "Section20", path.c_str());
            std::string value(length, '\0');
            ini.GetValueData(value.data());
            value.resize(length - 1);
            EXPECT_EQ(value, values[now == bytes[0] ? 0 : 1]) << "after kill " << kill;
        });
    EXPECT_EQ(landed, 100);
    std::printf("INI: %d kills, %d inside a save\n", landed, interruptedSaves);
}

}  // namespace

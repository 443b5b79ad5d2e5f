// quorel-replay-nmea FILE LINK: plays an NMEA log as a receiver would, one second of
// sentences a second, on a pseudo-terminal that LINK points at, so that the program can
// be run with --gps LINK. Stops at the end of the log or when killed; LINK is removed.
// Installed for users, so a LINK that names anything but a symbolic link (a log given in
// the wrong place) is never replaced.
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

volatile sig_atomic_t stopping = 0;
void stop(int) { stopping = 1; }

// The time field of a sentence ("$GPGGA,030001,..." gives "030001"), empty for none.
std::string timeOf(const std::string& sentence) {
    const auto comma = sentence.find(',');
    if (comma == std::string::npos) return {};
    const auto next = sentence.find(',', comma + 1);
    return sentence.substr(comma + 1, next == std::string::npos ? std::string::npos : next - comma - 1);
}

}  // namespace

int main(int argc, char** argv) {
    const char* usage =
        "usage: quorel-replay-nmea FILE LINK\n"
        "  plays the NMEA log FILE on a pseudo-terminal that the link LINK names\n";
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        return std::fputs(usage, stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (argc != 3) {
        std::fputs(usage, stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "quorel-replay-nmea: cannot read %s\n", argv[1]);
        return 1;
    }
    std::vector<std::vector<std::string>> seconds;
    std::string last;
    for (std::string line; std::getline(in, line);) {
        const std::string t = timeOf(line);
        if (seconds.empty() || t != last) seconds.emplace_back();
        seconds.back().push_back(line + "\n");
        last = t;
    }

    int master = -1, slave = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        std::perror("quorel-replay-nmea: openpty");
        return 1;
    }
    const std::filesystem::path link = argv[2];
    std::error_code ec;
    if (std::filesystem::is_symlink(link, ec)) std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(name, link, ec);
    if (ec) {
        std::fprintf(stderr, "quorel-replay-nmea: cannot link %s: %s\n", argv[2], ec.message().c_str());
        return 1;
    }
    signal(SIGTERM, stop);
    signal(SIGINT, stop);
    std::printf("replaying %zu seconds on %s (%s)\n", seconds.size(), name, argv[2]);
    std::fflush(stdout);
    for (const auto& second : seconds) {
        if (stopping) break;
        for (const auto& sentence : second) {
            if (write(master, sentence.data(), sentence.size()) < 0) break;
        }
        sleep(1);
    }
    std::filesystem::remove(link, ec);
    close(slave);
    close(master);
    return 0;
}

#include "GuiTestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <filesystem>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A listening socket on a free loopback port.
class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 4);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() { Close(); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int Port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

// The helper program copied into a directory of its own, so that the
// `harbord` it looks for is the one the test puts beside it.
class ProbeDir {
public:
    ProbeDir() {
        program_ = dir_.File("vantlow");
        std::filesystem::copy_file(GUI_HELPER, program_);
        std::filesystem::permissions(program_, std::filesystem::perms::owner_all);
    }
    void AddStandIn() {
        WriteScript(dir_.File("harbord"), "pwd > '" + Marker() + ".tmp'\nmv '" + Marker() + ".tmp' '" + Marker() +
                                              "'\n");
    }
    std::string Marker() const { return dir_.File("started"); }
    std::string Dir() const { return dir_.Path(); }
    QString Run(int port) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_STATE_HOME", QString::fromStdString(dir_.File("state")));
        process.setProcessEnvironment(environment);
        process.start(QString::fromStdString(program_), {"--probe", QString::number(port)});
        process.waitForFinished(60000);
        return QString::fromUtf8(process.readAllStandardOutput());
    }

private:
    TempDir dir_;
    std::string program_;
};

bool WaitForMarker(const std::string& path) {
    for (int i = 0; i < 1000 && !std::filesystem::exists(path); i++) ::usleep(20000);
    return std::filesystem::exists(path);
}

}  // namespace

TEST(ProxyProbeTest, StartsTheProxyBesideTheProgramWhenNothingListens) {
    ProbeDir probe;
    probe.AddStandIn();
    Listener free;
    int port = free.Port();
    free.Close();
    QString output = probe.Run(port);
    EXPECT_EQ(output, "status: Checking if offline proxy is running...\nstatus: \nresult: started\n");
    ASSERT_TRUE(WaitForMarker(probe.Marker()));
    // It runs in its own directory.
    EXPECT_EQ(ReadWholeFile(probe.Marker()), std::filesystem::canonical(probe.Dir()).string() + "\n");
}

TEST(ProxyProbeTest, StartsNothingWhenAProxyListens) {
    ProbeDir probe;
    probe.AddStandIn();
    Listener proxy;
    QString output = probe.Run(proxy.Port());
    EXPECT_EQ(output, "status: Checking if offline proxy is running...\nstatus: \nresult: running\n");
    // The stand-in would have written its marker before the probe returned.
    ::usleep(200000);
    EXPECT_FALSE(std::filesystem::exists(probe.Marker()));
}

TEST(ProxyProbeTest, AMissingProxyProgramIsReportedInTheStatusBar) {
    ProbeDir probe;
    Listener free;
    int port = free.Port();
    free.Close();
    QString output = probe.Run(port);
    EXPECT_EQ(output, "status: Checking if offline proxy is running...\n"
                      "status: Offline proxy could not be started\nresult: not started\n");
}

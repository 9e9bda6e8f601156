#include "support/mosquitto_broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/ser2net_server.h"

namespace tolvane {
namespace {

bool Accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

bool WaitUntil(const auto& done)
{
    for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return done();
}

} // namespace

MosquittoBroker::MosquittoBroker(const std::string& folder)
    : folder_(folder), port_(FreeLoopbackPort()), tlsPort_(FreeLoopbackPort()), wrongNamePort_(FreeLoopbackPort())
{
    // EC keys: quick to make. A certificate per name, both signed by ca.pem.
    const std::string script = "cd '" + folder + "' && exec >openssl.log 2>&1 && "
        "for ca in ca other-ca; do openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "
        "-keyout $ca.key -out $ca.pem -days 2 -subj /CN=$ca || exit 1; done && "
        "for s in 'good IP:127.0.0.1' 'wrong DNS:other.example'; do set -- $s; echo subjectAltName=$2 >$1.ext && "
        "openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout $1.key -out $1.csr -subj /CN=$1 "
        "&& openssl x509 -req -in $1.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile $1.ext "
        "-out $1.pem || exit 1; done && chmod 644 *.key && "
        "mosquitto_passwd -b -c passwd " + std::string(kBrokerUser) + " " + kBrokerPassword;
    if (std::system(script.c_str()) != 0) return;
    std::ofstream conf(File("mosquitto.conf"));
    conf << "per_listener_settings false\nallow_anonymous false\npassword_file " << File("passwd")
         << "\npersistence false\nlog_dest none\nmax_queued_messages 0\nmax_inflight_messages 0\n" << (::geteuid() == 0 ? "user root\n" : "")
         << "listener " << port_ << " 127.0.0.1\n";
    for (const auto& [port, name] : {std::pair{tlsPort_, "good"}, std::pair{wrongNamePort_, "wrong"}})
        conf << "listener " << port << " 127.0.0.1\ncafile " << File("ca.pem") << "\ncertfile "
             << File(std::string(name) + ".pem") << "\nkeyfile " << File(std::string(name) + ".key") << "\n";
}

bool MosquittoBroker::Start()
{
    process_ = std::make_unique<SimProcess>("/usr/sbin/mosquitto", std::vector<std::string>{"-c", File("mosquitto.conf")});
    return WaitUntil([&] { return Accepts(port_) && Accepts(tlsPort_) && Accepts(wrongNamePort_); });
}

std::unique_ptr<SimProcess> MosquittoBroker::Subscribe(const std::vector<std::string>& topics, const std::string& out,
                                                       int count) const
{
    std::string command = "exec mosquitto_sub -d -v -q 1 -h 127.0.0.1 -p " + std::to_string(port_) + " -u " +
                          kBrokerUser + " -P " + kBrokerPassword + (count ? " -C " + std::to_string(count) : "");
    for (const std::string& topic : topics) command += " -t '" + topic + "'";
    ::unlink(out.c_str()); // SUBACK in an earlier run's output is not this one's
    auto sub = std::make_unique<SimProcess>("/bin/sh", std::vector<std::string>{"-c", command + " >'" + out + "'"});
    WaitUntil([&] {
        std::ifstream in(out);
        return std::string(std::istreambuf_iterator<char>(in), {}).find("SUBACK") != std::string::npos;
    });
    return sub;
}

std::vector<std::string> MessageLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    // "TOPIC {...}": every payload published is a JSON object.
    for (std::string line; std::getline(in, line);)
        if (const auto space = line.find(' '); space != std::string::npos && line[space + 1] == '{')
            lines.push_back(line);
    return lines;
}

} // namespace tolvane

// tolvane-gateway: records compass modules unattended and serves their
// heading, pitch and roll as NMEA 0183. Each module runs on a thread of its
// own; this thread takes the signals and is the one writer of the status
// and error lines, so that no two lines mix.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gateway/event_loop.h"
#include "gateway/gateway_config.h"
#include "gateway/gateway_module.h"
#include "link/network_port.h"
#include "tolvane_version.h"

namespace tolvane {
namespace {

// Lines from the modules' threads, written whole by the main loop's thread.
class LineWriter : public GatewayOutput {
public:
    explicit LineWriter(EventLoop& loop) : loop_(loop) {}

    void Status(std::string line) override { Add(out_, std::move(line)); }
    void Error(std::string line) override { Add(err_, std::move(line) + "\n"); }

    void Flush()
    {
        std::string out, err;
        {
            const std::lock_guard lock(mutex_);
            out.swap(out_);
            err.swap(err_);
        }
        WriteAll(STDOUT_FILENO, out);
        WriteAll(STDERR_FILENO, err);
    }

private:
    void Add(std::string& to, std::string line)
    {
        {
            const std::lock_guard lock(mutex_);
            to += line;
        }
        loop_.Wake();
    }

    static void WriteAll(int fd, const std::string& bytes)
    {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return; // nobody reads it any more: the modules go on
            done += static_cast<std::size_t>(n);
        }
    }

    EventLoop& loop_;
    std::mutex mutex_;
    std::string out_, err_;
};

int GatewayMain(const std::vector<std::string>& args)
{
    std::string error;
    const std::optional<GatewayConfig> config = ParseGatewayArgs(args, error);
    if (!config) {
        std::fprintf(stderr, "tolvane-gateway: %s\n%s\n", error.c_str(), GatewayUsage().c_str());
        return kRefusedExitStatus;
    }
    if (config->help) {
        std::fputs(GatewayHelpText().c_str(), stdout);
        return 0;
    }
    if (config->version) {
        std::printf("tolvane-gateway %s\n", kVersion);
        return 0;
    }
    // A client gone mid-write is an error of that write, not the process's end.
    std::signal(SIGPIPE, SIG_IGN);

    EventLoop loop;
    LineWriter lines(loop);
    // One thread reads every module's terminal: a thread each would wake for
    // every few bytes. Made before the modules, so it outlives their links.
    const auto reader = std::make_shared<SharedReader>();
    // The terminals' modules share a thread; each network source has one.
    std::vector<std::unique_ptr<ModuleThread>> threads;
    ModuleThread* terminals = nullptr;
    std::vector<GatewayModule*> modules;
    // Before any thread starts, so that every thread inherits the signals blocked.
    if (!loop.WatchSignals(
            [&modules] {
                for (const auto& module : modules) module->Reopen();
            },
            error) ||
        !loop.SetWakeTask([&lines] { lines.Flush(); }, error)) {
        std::fprintf(stderr, "tolvane-gateway: %s\n", error.c_str());
        return 1;
    }
    for (const ModuleConfig& module : config->modules) {
        const bool network = LooksLikeNetworkPort(module.source);
        if (network || !terminals) threads.push_back(std::make_unique<ModuleThread>(lines));
        if (!network && !terminals) terminals = threads.back().get();
        ModuleThread& thread = network ? *threads.back() : *terminals;
        modules.push_back(&thread.Add(module, config->statusIntervalS, reader));
    }
    for (const auto& module : modules) {
        if (!module->PrepareOutputs(error)) {
            std::fprintf(stderr, "tolvane-gateway: %s\n", error.c_str());
            return 1;
        }
    }
    std::unique_ptr<MqttPublisher> mqtt;
    if (config->mqtt) {
        std::vector<std::string> names;
        for (const ModuleConfig& module : config->modules) names.push_back(module.name);
        const auto said = [&lines](const std::string& line) { lines.Error("tolvane-gateway: " + line); };
        mqtt = std::make_unique<MqttPublisher>(*config->mqtt, names, said);
        if (!mqtt->Start(error)) {
            std::fprintf(stderr, "tolvane-gateway: %s\n", error.c_str());
            return kRefusedExitStatus;
        }
        for (std::size_t i = 0; i < modules.size(); ++i) modules[i]->PublishTo(*mqtt, i);
    }
    for (const auto& thread : threads) thread->Start();
    loop.Run();
    for (const auto& thread : threads) thread->Stop();
    for (const auto& thread : threads) thread->Join();
    // Their last status lines (closed) are the publisher's last words.
    if (mqtt) mqtt->Stop();
    lines.Flush();
    return 0;
}

} // namespace
} // namespace tolvane

int main(int argc, char** argv) { return tolvane::GatewayMain(std::vector<std::string>(argv + 1, argv + argc)); }

// Debian's mosquitto on 127.0.0.1 for the MQTT tests, with a configuration
// written here: user "fleet" with a password, a plain listener, and two
// TLS listeners whose certificates a CA made here at test time signed, one
// for 127.0.0.1 and one for another name; and a CA the broker never used.
// Started and stopped by its process id; mosquitto_sub reads for the tests.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/sim_process.h"

namespace tolvane {

inline constexpr char kBrokerUser[] = "fleet";
inline constexpr char kBrokerPassword[] = "s3cret";

class MosquittoBroker {
public:
    explicit MosquittoBroker(const std::string& folder);
    bool Start(); // false when it did not come to listen
    void Kill() { process_.reset(); }
    int Port() const { return port_; }
    int TlsPort() const { return tlsPort_; }
    int WrongNamePort() const { return wrongNamePort_; }
    std::string File(const std::string& name) const { return folder_ + "/" + name; }

    // mosquitto_sub -v on `topics` into the file `out` ("TOPIC PAYLOAD" per
    // line), once it has subscribed; `count` > 0: it ends after that many.
    std::unique_ptr<SimProcess> Subscribe(const std::vector<std::string>& topics, const std::string& out,
                                          int count = 0) const;

private:
    std::string folder_;
    int port_ = 0, tlsPort_ = 0, wrongNamePort_ = 0;
    std::unique_ptr<SimProcess> process_;
};

// The lines of `path` that mosquitto_sub wrote for messages, debug lines left out.
std::vector<std::string> MessageLines(const std::string& path);

} // namespace tolvane

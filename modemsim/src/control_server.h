#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <poll.h>

namespace modemsim {

// The live control channel: a Unix stream socket taking one command per line and answering
// each with the executor's reply. Serves any number of clients from the simulator's event loop.
class ControlServer {
public:
    using Executor = std::function<std::string(std::string_view line)>;

    // Binds `path` (an old socket there is replaced). Throws std::system_error.
    explicit ControlServer(std::string path);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // Appends what the event loop should watch.
    void watch(std::vector<pollfd>& fds) const;
    // Serves whatever `fds` (as returned by poll) says is ready.
    void serve(const std::vector<pollfd>& fds, const Executor& execute);

private:
    struct Client {
        int fd;
        std::string pending;
    };
    void accept();
    bool readFrom(Client& client, const Executor& execute);

    std::string m_path;
    int m_listener{-1};
    std::vector<Client> m_clients;
};

} // namespace modemsim

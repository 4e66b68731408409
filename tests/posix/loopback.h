#pragma once

// Loopback TCP listeners for the tests of port probes and checks: nothing leaves the machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QString>
#include <vector>

// A TCP socket on 127.0.0.1, listening with the given backlog, or bound only (refusing).
struct Loopback {
    explicit Loopback(int backlog) : fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&at), sizeof at);
        socklen_t length = sizeof at;
        getsockname(fd, reinterpret_cast<sockaddr *>(&at), &length);
        port = QString::number(ntohs(at.sin_port));
        if (backlog >= 0) listen(fd, backlog);
    }
    ~Loopback() {
        for (int c : fillers) close(c);
        close(fd);
    }
    // Connections nobody accepts, until the queue is full and new ones go unanswered.
    void fillQueue() {
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        at.sin_port = htons(port.toUShort());
        for (int i = 0; i < 3; ++i) {
            fillers.push_back(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            ::connect(fillers.back(), reinterpret_cast<sockaddr *>(&at), sizeof at);
        }
        usleep(100000);
    }
    int fd;
    QString port;
    std::vector<int> fillers;
};

#pragma once

#include "support/ChildProcess.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The built tarnwick program, launched by a test with its log in a private
// file (TARNWICK_LOG_FILE): tests of the program run side by side, and beside
// a Tarnwick the user runs, without reading each other's lines.
class TarnwickProgram {
public:
    TarnwickProgram();
    ~TarnwickProgram();
    TarnwickProgram(const TarnwickProgram&) = delete;
    TarnwickProgram& operator=(const TarnwickProgram&) = delete;

    // A session bus address that leads nowhere: a program a test starts
    // reaches the user's own bus (and a Tarnwick running there) only if the
    // test says so.
    static constexpr const char* noSessionBus = "unix:path=/nonexistent/tarnwick-tests";

    // Starts the program with the environment on top of this process's, and
    // noSessionBus unless the environment names a bus. The log file of an
    // earlier launch goes first, so that waiting for a line never finds one
    // of an earlier run; anything else standing at the log path is left for
    // the program to meet.
    std::unique_ptr<ChildProcess> launch(std::map<std::string, std::string> environment,
                                         const std::vector<std::string>& arguments = {},
                                         const std::string& program = ChildProcess::programPath()) const;

    const std::string& logPath() const { return logPath_; }
    std::string log() const;
    bool waitForLog(const std::string& piece, double seconds = 30) const;

private:
    std::string folder_;
    std::string logPath_;
};

// Whether the pieces occur in the text in this order, each after the end of
// the one before.
bool inOrder(const std::string& text, const std::vector<std::string>& pieces);
// How often the piece occurs in the text, without overlaps.
std::size_t occurrences(const std::string& text, const std::string& piece);

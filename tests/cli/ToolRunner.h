// SPDX-License-Identifier: MIT
// Runs the built meshprobe binary for end-to-end tests, and writes the mesh files they read.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/MeshExport.h"
#include "tests/support/TestMeshes.h"

namespace clitest {

struct ToolResult {
    int exitCode = -1; // -1 when the process died from a signal
    std::string out;
    std::string err;
};

/// Reads two pipes to their end without letting either fill up and block the child.
inline void drain(int outFd, int errFd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    char buffer[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

/// Starts argv[0] with the arguments, stdout on `outFd` and stderr on `errFd`; the child closes `parentEnds`.
inline pid_t spawn(const std::vector<std::string>& argvStrings, int outFd, int errFd, std::initializer_list<int> parentEnds)
{
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        for (int fd : parentEnds)
            close(fd);
        std::vector<char*> argv;
        for (const std::string& a : argvStrings)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

/// Waits for the child; -1 when it died from a signal.
inline int exitCodeOf(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Runs a program with the arguments; stdout and stderr are pipes (so stderr is not a terminal).
inline ToolResult runProgram(const std::vector<std::string>& argvStrings)
{
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = spawn(argvStrings, outPipe[1], errPipe[1], {outPipe[0], errPipe[0]});
    close(outPipe[1]);
    close(errPipe[1]);
    ToolResult result;
    drain(outPipe[0], errPipe[0], result.out, result.err);
    result.exitCode = exitCodeOf(pid);
    return result;
}

/// meshprobe followed by the arguments.
inline std::vector<std::string> toolArgv(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {MESHPROBE_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

/// Runs meshprobe with the arguments; stdout and stderr are pipes.
inline ToolResult runTool(const std::vector<std::string>& args)
{
    return runProgram(toolArgv(args));
}

/// Runs meshprobe with its address space limited to `kibibytes` (the shell's ulimit -v).
inline ToolResult runToolWithMemoryLimit(long kibibytes, const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {
        "/bin/sh", "-c", "ulimit -v " + std::to_string(kibibytes) + " && exec \"$0\" \"$@\"", MESHPROBE_EXECUTABLE};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

/// A fresh folder under /tmp, removed with its files at the end of the test.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/meshprobe-test-XXXXXX";
        if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }
    /// Names of the files in the folder, hidden ones included.
    std::vector<std::string> list() const
    {
        std::vector<std::string> names;
        const std::string command = "ls -A '" + path + "'";
        FILE* pipeHandle = popen(command.c_str(), "r");
        char line[4096];
        while (pipeHandle && fgets(line, sizeof line, pipeHandle)) {
            std::string name(line);
            name.erase(name.find_last_not_of('\n') + 1);
            names.push_back(name);
        }
        if (pipeHandle) pclose(pipeHandle);
        return names;
    }

    std::string path;
};

inline bool fileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

inline void writeFile(const std::string& path, const std::string& content)
{
    std::ofstream(path, std::ios::binary) << content;
}

/// Binary STL of a soup: 80-byte header, count, then normal, three corners and attribute per triangle.
inline std::string binaryStl(const testmesh::Soup& soup)
{
    std::string bytes(80, ' ');
    auto put = [&bytes](const void* p, size_t n) { bytes.append(static_cast<const char*>(p), n); };
    const std::uint32_t count = static_cast<std::uint32_t>(soup.indices.size() / 3);
    put(&count, 4);
    for (std::uint32_t t = 0; t < count; ++t) {
        const float normal[3] = {0, 0, 0};
        put(normal, 12);
        for (int k = 0; k < 3; ++k)
            put(&soup.positions[3 * soup.indices[3 * t + k]], 12);
        const std::uint16_t attribute = 0;
        put(&attribute, 2);
    }
    return bytes;
}

inline std::string asciiStl(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    out << "solid test\n";
    for (size_t t = 0; t < soup.indices.size() / 3; ++t) {
        out << "facet normal 0 0 0\nouter loop\n";
        for (int k = 0; k < 3; ++k) {
            const float* p = &soup.positions[3 * soup.indices[3 * t + k]];
            out << "vertex " << p[0] << ' ' << p[1] << ' ' << p[2] << '\n';
        }
        out << "endloop\nendfacet\n";
    }
    out << "endsolid test\n";
    return out.str();
}

/// One line per vertex, "x y z" after the prefix.
inline void putVertices(std::ostream& out, const testmesh::Soup& soup, const char* prefix)
{
    for (size_t v = 0; v < soup.positions.size() / 3; ++v)
        out << prefix << soup.positions[3 * v] << ' ' << soup.positions[3 * v + 1] << ' ' << soup.positions[3 * v + 2]
            << '\n';
}

/// One line per triangle, its three indices counted from `base` after the prefix.
inline void putTriangles(std::ostream& out, const testmesh::Soup& soup, const char* prefix, std::uint32_t base)
{
    for (size_t t = 0; t < soup.indices.size() / 3; ++t)
        out << prefix << soup.indices[3 * t] + base << ' ' << soup.indices[3 * t + 1] + base << ' '
            << soup.indices[3 * t + 2] + base << '\n';
}

inline std::string objText(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    putVertices(out, soup, "v ");
    putTriangles(out, soup, "f ", 1);
    return out.str();
}

inline std::string plyText(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    out << "ply\nformat ascii 1.0\nelement vertex " << soup.positions.size() / 3
        << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << soup.indices.size() / 3
        << "\nproperty list uchar int vertex_indices\nend_header\n";
    putVertices(out, soup, "");
    putTriangles(out, soup, "3 ", 0);
    return out.str();
}

inline std::string offText(const testmesh::Soup& soup)
{
    std::ostringstream out;
    out.precision(9);
    out << "OFF\n" << soup.positions.size() / 3 << ' ' << soup.indices.size() / 3 << " 0\n";
    putVertices(out, soup, "");
    putTriangles(out, soup, "3 ", 0);
    return out.str();
}

/// Writes the soup in the format its extension names: .stl binary, .obj, .ply, .off as text written here;
/// .3mf and .glb through the tool's own export.
inline std::string writeMesh(const TempDir& dir, const std::string& name, const testmesh::Soup& soup)
{
    const std::string extension = name.substr(name.rfind('.'));
    const std::string path = dir.file(name);
    if (extension == ".stl")
        writeFile(path, binaryStl(soup));
    else if (extension == ".obj")
        writeFile(path, objText(soup));
    else if (extension == ".ply")
        writeFile(path, plyText(soup));
    else if (extension == ".off")
        writeFile(path, offText(soup));
    else
        cli::writeMeshes(path, {{"part", soup.build().get()}});
    return path;
}

/// A run whose stderr is a pseudo-terminal, as when a user runs the tool in a shell. `watch` sees the
/// terminal output as it arrives, with the child's pid, and may signal the child; it returns true to stop
/// watching. stdout is a pipe.
inline ToolResult runToolOnTerminal(const std::vector<std::string>& args,
                                    const std::function<bool(const std::string&, pid_t)>& watch)
{
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    int outPipe[2];
    if (pipe(outPipe) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = spawn(toolArgv(args), outPipe[1], slave, {master, outPipe[0]});
    close(slave);
    close(outPipe[1]);
    ToolResult result;
    bool watching = true;
    char buffer[4096];
    // The terminal reports EIO once the child has exited and closed its side.
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        result.err.append(buffer, static_cast<size_t>(n));
        if (watching) watching = !watch(result.err, pid);
    }
    close(master);
    std::string ignored;
    drain(outPipe[0], open("/dev/null", O_RDONLY), result.out, ignored);
    result.exitCode = exitCodeOf(pid);
    return result;
}

} // namespace clitest

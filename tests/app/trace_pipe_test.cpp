// A trace line reaches a pipe at once: users pipe the tool into tee or
// grep, where standard output is fully buffered unless the tool flushes.
// trace-pipe-child runs the tool's loop with its standard output a pipe and
// waits between reads for a word from this test.
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

namespace {

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Reads from fd into text until it ends with `want`, the pipe closes or
// nothing comes for 5 s (the tool is then holding the line back).
void ReadUntil(int fd, const std::string& want, std::string& text) {
    while (text.size() < want.size() ||
           text.compare(text.size() - want.size(), want.size(), want) != 0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0)
            break;
        char buf[256];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<std::size_t>(n));
    }
}

// The child's end: closing its input ends it, whatever the test got to.
struct Child {
    pid_t pid = -1;
    int in = -1;
    int out = -1;
    ~Child() {
        if (in >= 0)
            close(in);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        if (out >= 0)
            close(out);
    }
};

} // namespace

TEST(TracePipe, EachTraceLineReachesThePipeBeforeTheNextRead) {
    int out[2], in[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(in), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, in[1]);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char program[] = TRACE_PIPE_CHILD;
    char* argv[] = {program, nullptr};
    Child child;
    child.in = in[1];
    child.out = out[0];
    const int spawned = posix_spawn(&child.pid, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    ASSERT_EQ(spawned, 0) << program;
    std::string text;
    // The tool waits for our word before each next read: each trace line
    // must be here by then, the last thing in the pipe.
    std::string lines;
    for (const char* line : {"Read from rk27: 4 0 0 11 1 0 \n", "Read from rk27: 4 0 0 12 2 0 \n",
                             "Read from rk27: 4 0 0 13 3 0 \n"}) {
        lines += line;
        ReadUntil(child.out, lines, text);
        ASSERT_TRUE(EndsWith(text, lines))
            << "the trace line did not reach the pipe while the tool waited before its next read; "
               "got: "
            << text;
        ASSERT_EQ(write(child.in, "\n", 1), 1);
    }
    close(child.in);
    child.in = -1;
    int status = -1;
    ASSERT_EQ(waitpid(child.pid, &status, 0), child.pid);
    child.pid = -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

// The checked writers behind standard output and standard error, whole-file writes, and the
// rule on which paths may be written.
#include "output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <streambuf>
#include <string_view>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "files.h"
#include "text.h"

namespace opkit_cli {

namespace {

namespace fs = std::filesystem;

bool descriptor_open(int fd) {
#if defined(_WIN32)
    return _get_osfhandle(fd) != -1;
#else
    return fcntl(fd, F_GETFD) != -1 || errno != EBADF;
#endif
}

long long write_some(int fd, const char* data, size_t size) {
#if defined(_WIN32)
    return _write(fd, data, static_cast<unsigned>(size));
#else
    return ::write(fd, data, size);
#endif
}

// A stream buffer over a file descriptor. Every byte below 0x20 but the line feed, and every
// byte from 0x7F on, is written as \xHH: no text the tool prints can move the cursor, erase or
// recolour the terminal, or cut a line short, wherever it came from. When styles are allowed,
// SGR sequences (ESC [ digits ; m) pass as they are: the tool's own reverse video and red. The
// first failed write is kept; nothing is written after it.
class CheckedBuffer : public std::streambuf {
  public:
    explicit CheckedBuffer(int fd) : fd_(fd) { setp(buffer_, buffer_ + sizeof buffer_); }
    CheckedBuffer(const CheckedBuffer&) = delete;
    CheckedBuffer& operator=(const CheckedBuffer&) = delete;

    void allow_styles(bool allowed) { styles_ = allowed; }
    void fail(int error) { error_ = error; }
    int error() const { return error_; }

    // Writes what is held back, an unfinished escape sequence included.
    int finish() {
        const int status = sync();
        if (!sequence_.empty()) {
            std::string out;
            for (const char c : sequence_) {
                out += shown_byte(c);
            }
            sequence_.clear();
            return send(out) && status == 0 ? 0 : -1;
        }
        return status;
    }

  protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }

    int sync() override {
        std::string out;
        for (const char* p = pbase(); p != pptr(); ++p) {
            take(*p, out);
        }
        setp(buffer_, buffer_ + sizeof buffer_);
        return send(out) ? 0 : -1;
    }

  private:
    void take(char c, std::string& out) {
        const auto u = static_cast<unsigned char>(c);
        if (!sequence_.empty()) {
            sequence_ += c;
            const bool open = sequence_.size() == 2 ? c == '[' : (c >= '0' && c <= '9') || c == ';';
            if (sequence_.size() > 2 && c == 'm') {
                out += sequence_;
                sequence_.clear();
            } else if (!open || sequence_.size() > 16) {
                for (const char s : sequence_) {
                    out += shown_byte(s);
                }
                sequence_.clear();
            }
            return;
        }
        if (u == 0x1b && styles_) {
            sequence_ += c;
        } else if (c == '\n' || (u >= 0x20 && u < 0x7f)) {
            out += c;
        } else {
            out += shown_byte(c);
        }
    }

    bool send(const std::string& out) {
        size_t done = 0;
        while (error_ == 0 && done < out.size()) {
            const long long n = write_some(fd_, out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error_ = n < 0 ? errno : EIO;
                break;
            }
            done += static_cast<size_t>(n);
        }
        return error_ == 0;
    }

    int fd_;
    char buffer_[8192];
    std::string sequence_; // an escape sequence under way
    bool styles_ = false;
    int error_ = 0;
};

// The buffers outlive every static object: std::cout and std::cerr are flushed once more after
// main returns, through whatever buffer they hold then.
CheckedBuffer& out_buffer() {
    static CheckedBuffer* const buffer = new CheckedBuffer(1);
    return *buffer;
}

CheckedBuffer& err_buffer() {
    static CheckedBuffer* const buffer = new CheckedBuffer(2);
    return *buffer;
}

} // namespace

bool install_output() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (descriptor_open(fd)) {
            continue;
        }
        // Held by /dev/null, so that no file opened later takes this number.
#if defined(_WIN32)
        (void)fd;
#else
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            ::dup2(opened, fd);
            ::close(opened);
        }
#endif
        if (fd == 1) {
            out_buffer().fail(EBADF);
        }
    }
    std::cout.rdbuf(&out_buffer());
    std::cerr.rdbuf(&err_buffer());
    return out_buffer().error() == 0;
}

void allow_output_styles(bool allowed) {
    out_buffer().allow_styles(allowed);
}

std::string output_failure() {
    const int error = out_buffer().error();
    return error == 0 ? std::string() : std::strerror(error);
}

int finish_output(int status) {
    std::cout.flush();
    out_buffer().finish();
    const std::string failure = output_failure();
    if (!failure.empty()) {
        std::cerr << "opkit-host: cannot write to standard output: " << failure << "\n";
        status = status < 2 ? 2 : status;
    }
    std::cerr.flush();
    err_buffer().finish();
    return status;
}

std::string write_file(const std::string& path, const std::string& text) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        return folder_reason;
    }
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return errno != 0 ? std::strerror(errno) : "it cannot be opened";
    }
    int why = 0;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        why = errno != 0 ? errno : EIO;
    }
    if (std::fflush(file) != 0 && why == 0) {
        why = errno != 0 ? errno : EIO;
    }
    if (std::fclose(file) != 0 && why == 0) {
        why = errno != 0 ? errno : EIO;
    }
    return why == 0 ? std::string() : std::strerror(why);
}

std::string read_file_head(const std::string& path, size_t limit, std::string& text) {
    std::ifstream in;
    const std::string problem = open_stream(path, in);
    if (!problem.empty()) {
        return problem;
    }
    text.resize(limit);
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    return in.bad() ? "a read failed" : "";
}

std::string refuse_output(const std::string& path, const OutputKind& kind,
                          const std::vector<std::string>& inputs) {
    const std::string name = kind.name;
    if (path == "-") {
        return "the " + name + " goes to a file, not to standard output";
    }
    if (path.empty()) {
        return "the " + name + " needs a file name";
    }
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        return {}; // a new file: whether it can be made is found out by making it
    }
    if (fs::is_directory(status)) {
        return folder_reason;
    }
    for (const std::string& input : inputs) {
        if (input != "-" && fs::equivalent(path, input, error) && !error) {
            return "it is " +
                   (input == path ? std::string("one of the inputs")
                                  : "the input " + printable(input)) +
                   ", which is never overwritten";
        }
    }
    if (!fs::is_regular_file(status)) {
        return {}; // a device or a pipe: nothing is lost by writing it
    }
    // An existing file is overwritten only when it holds the same kind of output.
    std::string head;
    if (const std::string problem = read_file_head(path, kind.head_bytes, head); !problem.empty()) {
        return "it cannot be read to see what it holds: " + problem;
    }
    if (head.empty() || kind.recognises(head)) {
        return {};
    }
    return "it exists and is not a " + name + "; it is not overwritten";
}

} // namespace opkit_cli

#include "backends/linux/access_advice.h"

#include <cstdio>
#include <iostream>
#include <mutex>
#include <streambuf>
#include <utility>

namespace linux_backend {

namespace {

// Passes every read through to the original buffer; prints the advice once,
// before the first character is asked for. Unbuffered on purpose: it must
// not read ahead of what the stream's user consumes.
class AdvisingBuffer : public std::streambuf {
  public:
    AdvisingBuffer(std::streambuf* inner, std::string advice)
        : inner_(inner), advice_(std::move(advice)) {}

  protected:
    int_type underflow() override {
        Advise();
        return inner_->sgetc();
    }
    int_type uflow() override {
        Advise();
        return inner_->sbumpc();
    }
    std::streamsize showmanyc() override { return inner_->in_avail(); }

  private:
    void Advise() {
        if (advised_)
            return;
        advised_ = true;
        std::fputs(advice_.c_str(), stdout);
        std::fflush(stdout);
    }

    std::streambuf* inner_;
    std::string advice_;
    bool advised_ = false;
};

} // namespace

std::unique_ptr<std::streambuf> MakeAdvisingBuffer(std::streambuf* inner, std::string advice) {
    return std::make_unique<AdvisingBuffer>(inner, std::move(advice));
}

std::string AccessAdvice(const std::string& devicePath) {
    return "Linux: no permission to open " + devicePath +
           "; install the pendant's udev rule (pendant-test-udev-rule VID:PID) and plug it in "
           "again.\n";
}

void ArmAccessAdvice(const std::string& devicePath) {
    static std::once_flag once;
    std::call_once(once, [&] {
        // Lives as long as std::cin may use it: to the end of the process.
        std::cin.rdbuf(MakeAdvisingBuffer(std::cin.rdbuf(), AccessAdvice(devicePath)).release());
    });
}

} // namespace linux_backend

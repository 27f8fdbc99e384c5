#pragma once

#include <stdexcept>
#include <string>

namespace quillon {

// A failure the program reports with a fixed number and a short English text
// (32000 effects, 380/381 FFT, 90 encoder). The object that throws it stays
// as it was before the call.
class QuillonError : public std::runtime_error {
public:
    QuillonError(int number, const std::string& text);

    [[nodiscard]] int number() const noexcept { return number_; }

private:
    int number_;
};

}  // namespace quillon

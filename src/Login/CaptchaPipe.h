#pragma once
// The line protocol between the login window and the captcha helper process: one JSON object
// per line, each a "type" and plain-text fields. The login window writes
//   {"type":"show","origin":"<captcha origin>"}   then closes the helper's input to end it;
// the helper writes
//   {"type":"validate","validate":"<token>"}      the page was solved
//   {"type":"closed"}                             the user closed the window unsolved
//   {"type":"failed","reason":"<text>"}           the helper cannot show the page
//
// A reader takes the other side's bytes as they come and hands out whole lines; a line longer
// than kMaxLineBytes ends the reading, so the other side cannot make this one buffer without
// bound.
#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace pex {

struct CaptchaPipeMessage {
    std::string type;
    std::map<std::string, std::string> fields;

    std::string field(const std::string& name) const;
};

class CaptchaPipe {
  public:
    static constexpr std::size_t kMaxLineBytes = 16 * 1024;

    // Adds bytes read from the other side; false once a line ran over the limit (the reader
    // then takes nothing more).
    bool append(const char* data, std::size_t size);
    // The next whole line (without its newline), if one has come.
    std::optional<std::string> nextLine();
    bool overflowed() const { return overflowed_; }

    // One line with its newline.
    static std::string encode(const CaptchaPipeMessage& message);
    // None for anything but a JSON object with a text "type" and text fields free of control
    // characters, short enough for a line.
    static std::optional<CaptchaPipeMessage> decode(const std::string& line);

  private:
    std::string buffer_;
    bool overflowed_ = false;
};

}  // namespace pex

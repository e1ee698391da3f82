// Messages the user must see, with the answer to a question: the desktop
// program shows them in message boxes, the command line writes them to
// standard error and takes the default answer.
#pragma once

#include <ostream>
#include <string_view>

namespace torvo {

enum class MessageIcon { kInformation, kWarning, kError, kQuestion };
enum class MessageButtons { kOk, kOkCancel };
enum class MessageAnswer { kOk, kCancel };

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    virtual MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon icon,
                               MessageButtons buttons = MessageButtons::kOk) = 0;
};

// "caption: text" lines on a stream; every question is answered with OK.
class CStreamMessageBox : public IMessageBox {
public:
    explicit CStreamMessageBox(std::ostream& out) : out_(out) {}
    MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    std::ostream& out_;
};

}  // namespace torvo

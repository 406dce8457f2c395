#pragma once
// What the application registers with the desktop: starting with the session, and the
// screen-saver program shipped beside it. Main thread.

#include "platform/result.h"

#include <string>

namespace tavel {

class LoginItem {
public:
    virtual ~LoginItem() = default;
    // Whether the desktop starts the application with the session; asked anew each time.
    virtual bool enabled() const = 0;
    // Registers (true) or removes (false) it.
    virtual Result<void> setEnabled(bool on) = 0;
};

class SaverInstaller {
public:
    virtual ~SaverInstaller() = default;
    // Whether the screen-saver program is there to install; looked up anew each time.
    virtual bool available() const = 0;
    // Makes it known to the screen-saver hosts that read the desktop's registry and says
    // how to use it with the others: the text to show the user, lines of sentences, and
    // each thing to copy (a path, a configuration line, a command) alone on a line that
    // starts with two spaces, which is never broken when shown.
    virtual Result<std::string> install() = 0;
};

}  // namespace tavel

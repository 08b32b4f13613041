// How logic talks to whoever runs it, without knowing whether that is a
// window, the command-line tool or a test: messages for the user, questions
// with a yes/no answer, and progress of long work.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rav {

// The icon a message box would carry; the command-line tool maps it to a
// prefix on stderr.
enum class MessageKind { Information, Exclamation, Critical, Question };

struct UserMessage {
    MessageKind kind = MessageKind::Exclamation;
    std::string id;    // message id as looked up ("37122"); empty for composed texts
    std::string text;  // the text to show, already looked up, variable parts appended
    std::string title; // empty: the caller's usual title (the application title)
    // A question whose Yes deletes or overwrites: No is the default button,
    // so a hurried Enter never takes the destructive branch.
    bool noByDefault = false;
};

class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual void show(const UserMessage& message) = 0;
    // A question with Yes and No; the default answer of a sink that cannot
    // ask is No, so unattended runs never take the destructive branch.
    virtual bool confirm(const UserMessage& message)
    {
        show(message);
        return false;
    }
    // A message with answers beside OK (open the file, open its folder): the
    // index of the one chosen, -1 for OK or for a sink that cannot ask.
    virtual int choose(const UserMessage& message, const std::vector<std::string>& answers)
    {
        (void)answers;
        show(message);
        return -1;
    }
};

// Progress of a long operation. Values are in whatever unit the operation
// chose (bytes of a file, records); only their ratio to the range matters.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setCaption(const std::string& caption) { (void)caption; }
    virtual void setRange(std::int64_t minimum, std::int64_t maximum)
    {
        (void)minimum;
        (void)maximum;
    }
    virtual void setValue(std::int64_t value) { (void)value; }
    // Lets pending window events run; long loops call it between records.
    virtual void yield() {}
};

// Sinks that drop everything, for callers that do not care.
class NullMessageSink final : public MessageSink {
public:
    void show(const UserMessage&) override {}
};
class NullProgressSink final : public ProgressSink {};

// Keeps every message, for tests and for callers that show them later.
class RecordingMessageSink final : public MessageSink {
public:
    void show(const UserMessage& message) override { messages.push_back(message); }
    bool confirm(const UserMessage& message) override
    {
        messages.push_back(message);
        return answer;
    }
    int choose(const UserMessage& message, const std::vector<std::string>& answers) override
    {
        messages.push_back(message);
        offered = answers;
        return choice;
    }
    std::vector<UserMessage> messages;
    bool answer = false; // what confirm() replies
    int choice = -1; // what choose() replies
    std::vector<std::string> offered; // the answers choose() was last given
};

} // namespace rav

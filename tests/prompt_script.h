// Scripted answers for message and input boxes. Every prompt is recorded;
// a prompt the test did not expect fails the test.
#pragma once
#include <QList>
#include <QString>
#include <functional>

#include "platform/prompts.h"

class PromptScript {
public:
    PromptScript();
    ~PromptScript();
    // The next prompt whose text contains textPart is answered with answer
    // (a button) or typed (an input box; empty = cancel).
    void expect(const QString& textPart, int answer = prompts::vbOK, const QString& typed = QString());
    const QList<prompts::Prompt>& seen() const { return seen_; }
    int count() const { return int(seen_.size()); }
    bool allUsed() const { return expected_.isEmpty(); }
    // Any prompt is answered with OK / cancel and recorded, never a failure.
    void allowAny(bool allow) { allowAny_ = allow; }
    // Runs as each prompt is shown, to look at the window while it is asked.
    std::function<void(const prompts::Prompt&)> whileAsked;

private:
    struct Expectation {
        QString textPart;
        int answer;
        QString typed;
    };
    QList<Expectation> expected_;
    QList<prompts::Prompt> seen_;
    bool allowAny_ = false;
};

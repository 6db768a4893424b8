#include "tests/prompt_script.h"

#include <gtest/gtest.h>

PromptScript::PromptScript()
{
    prompts::set_script([this](const prompts::Prompt& p) {
        seen_.append(p);
        if (whileAsked)
            whileAsked(p);
        prompts::Reply reply;
        if (!expected_.isEmpty() && p.text.contains(expected_.first().textPart)) {
            const Expectation e = expected_.takeFirst();
            reply.answer = e.answer;
            reply.text = e.typed;
            return reply;
        }
        if (!allowAny_)
            ADD_FAILURE() << "unexpected prompt: " << p.title.toStdString() << ": " << p.text.toStdString();
        // A choice is closed without any of its buttons.
        reply.answer = p.kind == prompts::Prompt::Choice ? -1
                       : p.buttons == prompts::vbOKOnly  ? prompts::vbOK
                                                         : prompts::vbCancel;
        return reply;
    });
}

PromptScript::~PromptScript() { prompts::set_script({}); }

void PromptScript::expect(const QString& textPart, int answer, const QString& typed)
{
    expected_.append({textPart, answer, typed});
}

#include "platform/errors.h"

#include <QApplication>
#include <cstdlib>

#include "platform/prompts.h"
#include "platform/settings_store.h"

namespace errors {

namespace {
std::function<void(int)>& end_hook()
{
    static std::function<void(int)> hook;
    return hook;
}
std::function<void()>& close_files_hook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

RunError::RunError(int number, QString description)
    : number_(number), description_(std::move(description)), utf8_(description_.toUtf8())
{
}

QString description(int number)
{
    switch (number) {
    case InvalidArgument: return QStringLiteral("プロシージャの呼び出し、または引数が不正です。");
    case Overflow: return QStringLiteral("オーバーフローしました。");
    case SubscriptOutOfRange: return QStringLiteral("インデックスが有効範囲にありません。");
    case TypeMismatch: return QStringLiteral("型が一致しません。");
    case Internal: return QStringLiteral("内部エラーです。");
    case BadFileName: return QStringLiteral("ファイル名または番号が不正です。");
    case FileNotFound: return QStringLiteral("ファイルが見つかりません。");
    case DeviceIO: return QStringLiteral("デバイス I/O エラーです。");
    case FileExists: return QStringLiteral("既に同名のファイルが存在しています。");
    case DiskFull: return QStringLiteral("ディスクの空き容量が不足しています。");
    case PermissionDenied: return QStringLiteral("書き込みできません。");
    case PathFileAccess: return QStringLiteral("パス名が無効です。");
    case PathNotFound: return QStringLiteral("パスが見つかりません。");
    default: return QStringLiteral("アプリケーション定義またはオブジェクト定義のエラーです。");
    }
}

void raise(int number, const QString& detail)
{
    QString text = description(number);
    if (!detail.isEmpty())
        text += QStringLiteral("\n") + detail;
    throw RunError(number, text);
}

QString fatal_text(int number)
{
    return QString::number(number) + QStringLiteral("のエラーが発生しました。終了します。");
}

void fatal(int number, const QString& title)
{
    prompts::Msg_box(fatal_text(number), title, prompts::vbCritical);
    end_program(1);
}

void report(const RunError& e, const QString& title)
{
    prompts::Msg_box(e.description(), title, prompts::vbExclamation);
}

bool trap(const QString& title, const std::function<void()>& body)
{
    try {
        body();
        return true;
    } catch (const RunError& e) {
        report(e, title);
    } catch (const std::exception&) {
        fatal(Internal, title);
    }
    return false;
}

void end_program(int code)
{
    if (close_files_hook())
        close_files_hook()();
    if (end_hook()) {
        end_hook()(code);
        return;
    }
    settings::flush();
    std::_Exit(code);
}

void set_end_hook(std::function<void(int)> hook) { end_hook() = std::move(hook); }
void set_close_files_hook(std::function<void()> hook) { close_files_hook() = std::move(hook); }

} // namespace errors

// Run-time errors in the classic numbering, and the traps that turn them into
// message boxes.
#pragma once
#include <QString>
#include <exception>
#include <functional>

namespace errors {

enum Number {
    InvalidArgument = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    BadFileName = 52,
    FileNotFound = 53,
    DeviceIO = 57,
    FileExists = 58,
    DiskFull = 61,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    Internal = 51,
};

// An operation that failed: the number and what failed where.
class RunError : public std::exception {
public:
    RunError(int number, QString description);
    int number() const { return number_; }
    const QString& description() const { return description_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    int number_;
    QString description_;
    QByteArray utf8_;
};

// The standard description of a number ("ファイルが見つかりません。").
QString description(int number);

// Throws RunError; detail names the object concerned (a path, a setting).
[[noreturn]] void raise(int number, const QString& detail = QString());

// The message of an error that ends the program: "<n>のエラーが発生しました。終了します。"
QString fatal_text(int number);

// Shows the fatal message and ends the program. Kept for failures no user
// input, server reply or file-system condition can cause.
void fatal(int number, const QString& title);

// Shows what failed and where; the program goes on.
void report(const RunError& e, const QString& title);

// Runs body; a RunError becomes report(), anything else (a fault of the
// program itself) becomes fatal(). Returns false when body failed.
bool trap(const QString& title, const std::function<void()>& body);

// Ends the program after closing the files the program holds open.
void end_program(int code = 1);

// Tests replace the end of the program so a fatal path can be observed.
void set_end_hook(std::function<void(int code)> hook);

// Files kept open across events register their closer here so that the end
// of the program closes them first.
void set_close_files_hook(std::function<void()> hook);

} // namespace errors

#include "transfer/local_folder_walk.h"

#include <QDir>
#include <QFileInfo>

#include "transfer/local_names.h"
#include "transfer/transfer_batch.h"

void add_local_folder(TransferBatch& batch, const QString& native, const QString& relative,
                      const std::function<bool(const QString&)>& sendable)
{
    // Folder by folder, parents before their children, so that each is made
    // on the server before anything goes into it.
    QList<std::pair<QString, QString>> folders{{native, relative}};
    for (qsizetype i = 0; i < folders.size(); ++i) {
        const auto [folder, path] = folders.at(i);
        batch.addFolder(path);
        const QFileInfoList entries = QDir(folder).entryInfoList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& info : entries) {
            const QString child = path + u'/' + info.fileName();
            if (!is_plain_relative_path(info.fileName())) {
                batch.note(child, QStringLiteral("ｻｰﾊﾞｰに送れない文字が含まれているため、送信しませんでした。"));
            } else if (!sendable(info.fileName())) {
                batch.note(child, QStringLiteral("ｻｰﾊﾞｰの文字コードで表せない文字が含まれているため、送信しませんでした。"));
            } else if (info.isSymLink() && info.isDir()) {
                batch.note(child, QStringLiteral("フォルダーへのリンクのため、たどりませんでした。"));
            } else if (info.isDir()) {
                folders.append({info.filePath(), child});
            } else if (!is_regular_file(info.filePath())) {
                batch.note(child, QStringLiteral("通常のファイルではないため、アップロードしません。"));
            } else {
                BatchFile file;
                file.path = child;
                file.size = info.size();
                file.modified = info.lastModified().toSecsSinceEpoch();
                batch.addFile(file);
            }
        }
    }
}

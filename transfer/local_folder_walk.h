// The files and folders below a local folder for an upload batch, found
// before the first byte goes. A link to a folder is not followed (a link can
// lead back up into the tree); a link to a file is sent as that file.
#pragma once
#include <QString>
#include <functional>

class TransferBatch;

// Adds the folder (relative path `relative`), everything below it and the
// files in it to the batch; what cannot be sent is noted in the batch with
// why. sendable: whether the server can be given a name.
void add_local_folder(TransferBatch& batch, const QString& native, const QString& relative,
                      const std::function<bool(const QString&)>& sendable);

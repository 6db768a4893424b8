// The files a transfer keeps open from one socket event to the next.
#include <QFile>
#include <QSaveFile>

#include "app/form1.h"

void form1::closeAllFiles()
{
    for (std::unique_ptr<QFile>* f : {&listingFile, &textViewFile, &uploadFile}) {
        if (*f)
            (*f)->close();
        f->reset();
    }
    // An unfinished download is dropped: the file it would have replaced
    // stays as it was.
    if (downloadFile)
        downloadFile->cancelWriting();
    downloadFile.reset();
}

// The files a transfer keeps open from one socket event to the next.
#include <QFile>

#include "app/form1.h"

void form1::closeAllFiles()
{
    for (std::unique_ptr<QFile>* f : {&listingFile, &textViewFile, &uploadFile}) {
        if (*f)
            (*f)->close();
        f->reset();
    }
    // An unfinished download is dropped with its file: the file it would
    // have replaced stays as it was.
    downloadFile.reset();
}

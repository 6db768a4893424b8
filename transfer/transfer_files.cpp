// The files a transfer keeps open from one socket event to the next.
#include <QFile>

#include "app/form1.h"

void form1::closeAllFiles()
{
    for (std::unique_ptr<QFile>* f : {&listingFile, &textViewFile, &downloadFile, &uploadFile}) {
        if (*f)
            (*f)->close();
        f->reset();
    }
}

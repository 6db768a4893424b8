// A transfer ends when both its final reply and the end of its data have
// come, in either order: what of the two has come so far.
#pragma once
#include <QtGlobal>

struct TransferEnd {
    quint64 dataOwedBy = 0;        // operation whose data command is out, its data not ended
    bool dataEnded = false;        // a listing's or text view's data ended before its reply
    bool uploadConfirmed = false;  // the server confirmed the upload before its last byte went
};

// Reconnection after "421".
#include "app/form1.h"
#include "ftp/retry_dialog.h"
#include "servers/server_list_dialog.h"

Form12* form1::retryDialog()
{
    if (!form12_)
        form12_ = new Form12(this, this);
    return form12_;
}

void form1::Start_retry_countdown()
{
    Form12* dialog = retryDialog();
    // The entry of the connection that was refused, remembered now: the
    // server closes the connection after "421", and the disconnected state
    // forgets which entry was chosen.
    dialog->server = connectedEntry_;
    dialog->Form_Load();
}

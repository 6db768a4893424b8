// The steps of deleting remote folders with everything in them: each
// folder walked, the question, then the deletions. The window's handlers
// call them; the deletion's state is the window's RemoteTreeDelete.
#pragma once
#include <QString>

class form1;

namespace tree_delete {

void next(form1& w);                        // the next folder to list, question or command
void listed(form1& w, bool anything = true);  // the listing of the folder walked has arrived
// A reply to a command of the deletion; true when it was one.
bool take_reply(form1& w, const QString& verb, const QString& code, const QString& reply);

} // namespace tree_delete

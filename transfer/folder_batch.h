// The steps of a download or upload batch besides moving its files one by
// one: the walk through the selected server folders, the folders made on
// the receiving side, restarts, sizes and times asked of the server, the
// progress panel and the batch's end. The window's handlers call them; the
// batch's state is in the window's TransferBatch and RemoteFolderWalk.
#pragma once
#include <QList>
#include <QString>

class form1;
struct ListingEntry;

namespace folder_batch {

void walk_next(form1& w);                   // the next folder to enter and list, else back to the one on screen
void walk_listed(form1& w, bool anything = true);  // the listing of the folder walked has arrived
// A reply to a command of the batch's own steps; true when it was one.
bool take_reply(form1& w, const QString& verb, const QString& code, const QString& reply);
void start_download_files(form1& w);        // the local folders made, then the first file
void resume_upload(form1& w);               // "続きから": the upload goes on after what the server has
void upload_confirmed(form1& w);            // the server has the file: its size and time, then the next one
void end_upload(form1& w, bool relist = true);  // what failed, then the list of what arrived
void next_download(form1& w);               // the next file of the download batch, or its end
bool ask_file_time(form1& w);               // MDTM of the file just downloaded; false when not asked
void set_downloaded_time(form1& w, qint64 utcSeconds);  // the server's time on the new file
void show_progress(form1& w);               // the batch panel and the progress bar, at most once a frame
// The entries of the folder just listed for a walk (none when it sent no
// data); the listing is over.
QList<ListingEntry> listed_entries(form1& w, bool anything);

} // namespace folder_batch

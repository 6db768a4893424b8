// The main window: both file lists, the log pane, toolbar, menus, status
// line and the two sockets, and the whole state of the connection and of the
// running operation. Member functions live in the folder of their subsystem.
#pragma once
#include <QDateTime>
#include <QMainWindow>
#include <QSslConfiguration>
#include <QVariant>
#include <memory>

#include "ftp/connection_profile.h"
#include "ftp/reply_framer.h"
#include "ftp/session_state.h"
#include "transfer/transfer_end.h"

class QAction;
class QComboBox;
class QFile;
class QFileDevice;
class QSaveFile;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QToolBar;
class ClickLabel;
class ListView;
class LogPane;
class Winsock;
class form11;
class Form4;
class Form13;

class form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit form1(QWidget* parent = nullptr);
    ~form1() override;

    // ---- state of the connection and of the running operation ----------
    qint16 colum_click = 0;        // column-click sort toggle shared by both lists
    qint16 Q_mode = 0;             // -1: ignore the next Drive1 change once
    qint16 最初の送信 = 0;          // 1: next upload progress is the file's first
    qint16 S_count = 0;            // 1 between "331" and "230"
    qint16 Douitu = 0;             // 1 while the same-name window serves an upload
    QString Local_Dir;             // local folder with trailing "\"
    qint16 del_Count = 0;          // remote files still to delete
    int ポートNo = 0;               // control connection port (1 to 65535)
    QString Server_Kyu;            // previous remote path
    QString Newtext;               // text for Text_plus
    qint16 msg = 0;                // answer of the last message box
    QString 送信文字列;             // next command line, CR LF included
    QDateTime Time_start;          // first block of the current transfer (invalid = 0)
    QString Down_Size;             // expected size of the download, decimal text
    qint64 File_total = 0;         // size of the upload
    qint64 F_total = 0;            // kilobytes received in the current download
    qint16 Y_Count = 0;            // -1: the download is a text view
    qint64 Bytes_Total1 = 0;       // bytes of the upload sent so far
    qint16 Gcount = 0;             // upload state: 0 idle, 1 sending, 3 last block sent
    qint16 Ucount = 0;             // -1 while the start path CWD is pending
    qint16 Wcount = 0;             // -1: a start path is configured
    qint16 Dcount = 0;             // first-block flag of a listing or text view
    QString Up_File2;              // full local path of the upload
    QString Up_File;               // name of the upload
    qint16 Up_Count = 0;           // files still to upload
    qint16 Down_Count = 0;         // files still to download
    qint16 fCount = 0;             // download arrival counter
    QString Down_File;             // remote name being downloaded
    qint16 rCount = 0;             // remote folders entered by double-click
    qint16 Select_view = 0;        // active list: 1 remote, 0 local
    QString 現在のローカルパス;     // local folder below the drive root, "" at the root
    QString ホスト名;               // host to connect to, shown in the title
    QString ユーザー名;             // login user name
    QString パスワード;             // login password
    QString サーバーパス;           // remote directory
    qint16 ループ回数 = 0;          // step of the data-command sequence
    qint16 リトライ回数 = 0;        // connection attempts left
    qint16 リトライ間隔 = 0;        // seconds before the next attempt
    QVariant Combo_Name = 0;       // combo text after a history pick
    qint16 Combo_Mode = 0;         // 1 after a history pick until Combo1 loses focus

    // ---- controls ---------------------------------------------------------
    QToolBar* Toolbar1 = nullptr;
    ListView* ListView1 = nullptr;     // remote list
    ListView* ListView2 = nullptr;     // local list
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* CDUP = nullptr;       // remote: up one folder
    QPushButton* Command2 = nullptr;   // local: up one folder
    QComboBox* Combo1 = nullptr;       // remote path history
    QComboBox* Drive1 = nullptr;       // local drive selector
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel1 = nullptr;    // first panel of the status line
    QLabel* StatusPanel2 = nullptr;    // "TLS" or "暗号化なし" while connected
    QLabel* StatusPanel3 = nullptr;    // the progress of a batch of more than one file
    LogPane* Text1 = nullptr;          // log pane
    ClickLabel* Label1 = nullptr;      // remote path caption
    ClickLabel* Label4 = nullptr;      // local path caption
    Winsock* Winsock1 = nullptr;       // control connection
    Winsock* Winsock2 = nullptr;       // data connection

    // ---- menus ------------------------------------------------------------
    QMenu* server = nullptr;
    QAction *Mconect1 = nullptr, *connect = nullptr, *Mserver_list = nullptr, *Mabore = nullptr,
            *disconnect = nullptr, *Mend = nullptr;
    QMenu* Mfile = nullptr;
    QAction *MMkdir = nullptr, *Mrmdir = nullptr, *Mrename = nullptr, *MDOWN = nullptr,
            *Mupload = nullptr, *Mtext = nullptr;
    QMenu* Mview2 = nullptr;
    QAction* mlist[2] = {nullptr, nullptr};
    QAction* Mnew = nullptr;
    QAction* Mview[2] = {nullptr, nullptr};
    QMenu* Mtool = nullptr;
    QAction *Msend = nullptr, *mlist1 = nullptr, *Moption = nullptr;
    QMenu* Mhelp = nullptr;
    QAction *Msetumei = nullptr, *Mabout = nullptr;
    QMenu* Mright = nullptr;           // local list popup
    QAction *Mup = nullptr, *MMkdir2 = nullptr, *Mdel = nullptr, *Mrname = nullptr,
            *Mopen = nullptr, *M_shell = nullptr;
    QMenu* server_right = nullptr;     // remote list popup
    QAction *MDOWN2 = nullptr, *MMkdir3 = nullptr, *Mdel2 = nullptr, *Mrname2 = nullptr,
            *Mtextview = nullptr;

    // Toolbar button by its 1-based index (separators included).
    QAction* toolbarButton(int index) const;

    // ---- start-up, layout and the resets (app/) ---------------------------
    void Form_Load();
    void Layout_controls();
    void Clear_all();
    void Clear_connect();
    void Clear_transfer();
    // Outer window size in twips, as stored under "Form_Size".
    double outerWidthTwips() const;
    double outerHeightTwips() const;
    void setOuterSizeTwips(double width, double height);

    // ---- log pane, title and status line (app/) ----------------------------
    void Send_command();
    void Text_plus();
    void Show_connected();
    void Show_disconnected();
    void setStatusText(const QString& text);
    QString statusText() const;
    void markActiveLabel(bool remoteActive);

    // ---- the running operation: what runs, its one start and one end (app/) --
    enum class Operation { None, Login, Listing, Download, Upload, Delete, Rename, MakeFolder, TextView };
    Operation operation_ = Operation::None;
    quint64 operationId_ = 0;                  // changes whenever an operation starts or ends
    void beginOperation(Operation op);         // a command that runs on the server starts
    void continueAs(Operation op);             // the same command goes on as another step (the listing after it)
    void endOperation();                       // the one end of every operation, however it ends
    bool busy() const { return operation_ != Operation::None; }
    QString operationName() const;             // for the refusal message
    void settleOperation();                    // ends an operation that waits for nothing any more
    bool refuseWhileBusy();                    // true (after telling the user) while an operation runs
    void updateCommandAvailability();          // menus, popups and buttons that would cross it
    QString connectedEntry_;                   // registry entry of the connection; empty for a quick connection
    QString transferFolder_;                   // local folder of the running batch, fixed when it starts
    QString downloadPath_;                     // drive path of the file being downloaded, fixed before its question
    bool batchStored_ = false;                 // the batch sections of the store hold a selection
    bool confirmNewConnection();               // asks before dropping a connection; ends what runs
    void Quick_connect(const QString& host, const QString& user, const QString& password, int port = 21,
                       const QString& startFolder = QString());

    // ---- dialogs of the server registry (servers/) ---------------------------
    void connect_Click();                      // quick connect window
    void Moption_Click();                      // options window

    // ---- control connection: set-up, senders, dispatcher (ftp/) ------------
    void Mconect1_Click();
    Form4* serverList();                       // the manager, created on first use
    void Connect_server(bool fresh = false);   // fresh: chosen in the list, not a retry
    void Open_sockets();
    void disconnect_Click();
    void Winsock1_Connect();
    void Winsock1_DataArrival(qint64 bytesTotal);
    void Winsock1_Close();
    void Winsock1_Error(int number, const QString& description);
    void Send_user();
    void Send_pass();
    void Send_pwd();
    void Send_type();
    bool Make_port();                          // false after reporting a bad local address
    void Data_step();
    void Send_quit();
    void sendLine(const QString& line);        // the line, CR LF, Send_command
    void Start_retry_countdown();              // "421" with attempts left
    ConnectionProfile profile_;                // what this connection was opened with

    // ---- session set-up between log-in and the start folder (ftp/) --------
    QStringList sessionSteps_;                 // commands still to send after "230"
    void startSession();                       // "230": the set-up commands, then the start folder
    void nextSessionStep();
    bool sessionReply(const QString& verb, const QString& code, const QString& reply);  // true when it was one
    bool mlsdRefused(const QString& verb, const QString& code);  // MLSD refused: LIST from now on; true when it took over
    void openStartFolder();                    // the configured start folder, else PWD

    // ---- encryption of the connection: AUTH TLS, certificate, PROT (ftp/) --
    SessionState session_;                     // what this connection has settled with its server
    bool dataMustBeProtected() const;          // the entry requires TLS, or AUTH was accepted
    bool refusedInClear(const QString& verb);  // true (the connection ended) when verb would go in clear
    void endLogin();                           // 中断 of the log-in: the connection ends, nothing more is sent
    quint64 tlsAttempt_ = 0;                   // the handshake its time limit belongs to
    int tlsHandshakeWaitMs = 30000;            // then the connection is given up
    void wireControlTls();
    void Send_greeting_answer();               // "220": AUTH TLS when wanted, else USER
    bool tlsReply(const QString& verb, const QString& code, const QString& reply);  // AUTH, PBSZ, PROT
    void Winsock1_Encrypted();                 // check the certificate, then USER
    bool certificateAccepted(const class QSslConfiguration& state);  // asks when not trusted
    void tlsFailed(const QString& why);
    QSslConfiguration controlTlsConfiguration() const;
    QSslConfiguration dataTlsConfiguration() const;
    void showEncryption();                     // the second panel of the status line
    bool clearConnectionAgreed();              // AUTH refused: may go on in clear (asked if it did TLS before)

    // ---- code page of the connection (ftp/) ----
    QByteArray codepage_;                      // the profile's, or the one found; empty while not yet known
    QByteArray heldControlBytes_;              // not yet known: the start of a reply line still to end
    QByteArray listingSample_;                 // not yet known: lines of the arriving listing beyond ASCII
    QByteArray listingTail_;                   // the listing's last line so far, not yet ended
    QByteArray listedWith_;                    // code page of a remote list read before it was known
    void startCodepage();                      // a new connection: the profile's, or found from the server
    QByteArray wireCodepage() const;           // what commands, replies and listings are in now
    QByteArray controlBytes(const QByteArray& bytes);  // what of the arrival the reply framer may decode now
    void featReply(const QString& code, const QString& reply);  // UTF8 listed: OPTS UTF8 ON, and UTF-8
    void noteListingBytes(const QByteArray& bytes, bool first);  // a block of a listing as it arrives
    void decideFromListing();                  // the listing has arrived whole, before it is read
    void decideCodepage(const QByteArray& cp); // found: used from now on, and said once
    // True (after telling the user) when the server's code page cannot hold name.
    bool refuseUnsendable(const QString& name, const QString& refusal, const QString& title);


    // ---- data connection mode: active (PORT, EPRT) or passive (PASV, EPSV) (ftp/)
    bool passive_ = false;                     // this connection's data connections are made by the client
    bool passiveFallback_ = false;             // passive only because active mode was refused
    bool epsvTried_ = false;                   // EPSV already asked (IPv6, or after PASV was refused)
    bool pasvNoted_ = false;                   // a foreign address in "227" has been noted
    bool resendStor_ = false;                  // STOR goes again once the passive connection is up
    void wirePassiveData();
    bool controlIsIPv6() const;
    bool Send_data_address();                  // PORT, EPRT, PASV or EPSV for the next data command
    bool fallBackToPassive(const QString& verb, const QString& code);  // true when it took over
    void passiveRefused(const QString& verb);
    void passiveReply(const QString& code, const QString& reply);  // "227" or "229"
    void Winsock2_Connect();                   // the passive data connection is up

    // ---- data channel and transfers (transfer/) ----------------------------
    void Winsock2_ConnectionRequest(int requestID);
    void Winsock2_DataArrival(qint64 bytesTotal);
    void Winsock2_Close();
    void Winsock2_Error(int number, const QString& description);
    void Tool_lock();
    void Tool_unlock();                        // the locked operation has ended

    // ---- bounded waits and checks against a misbehaving server (transfer/, ftp/)
    // What a running transfer waits for, each with a bound: the server's
    // connection to the data listener after LIST, RETR or STOR, or the rest of
    // a download (its data close and the server's reply to RETR), or the
    // server's reply once an upload's last byte has gone, or after a
    // listing's or text view's data have ended.
    enum class TransferWait { None, DataConnection, DownloadEnd, UploadEnd, ListingEnd };
    TransferWait transferWait_ = TransferWait::None;
    quint64 transferWaitId_ = 0;               // bumped whenever a wait ends
    class QTimer* transferWaitTimer_ = nullptr;  // bounds the wait, started again for each
    int dataConnectionWaitMs = 30000;          // then the user is asked whether to abort
    int downloadEndWaitMs = 30000;             // then the download is given up
    int uploadEndWaitMs = 120000;              // then the upload is reported unconfirmed (the
                                               // system may still be sending the last megabytes)
    bool downloadDataDone_ = false;            // the data connection of the download has closed
    TransferEnd transferEnd_;                  // the running transfer's reply and data end, as they come
    void dataCommandSent(const QString& verb); // LIST, RETR or STOR of the running operation is out
    bool dataReplyOwed() const;                // the running operation's data command is unanswered
    void finishListingData();                  // a listing or text view whose data and reply have both come
    bool downloadConfirmed_ = false;           // the server answered RETR with 226 or 250
    bool noCodeNoted_ = false;                 // a line without a reply code has been noted
    bool cutNotePending_ = false;              // a reply was cut; noted when its text has ended
    // Each command sent and the operation it belongs to: every final reply
    // answers the oldest one, so a reply is never taken for another's.
    struct SentCommand {
        QString verb;                          // upper-case command word; "" for the greeting
        quint64 operation = 0;                 // operationId_ when it was sent
        bool raw = false;                      // typed in the raw command window
    };
    QList<SentCommand> sentCommands_;
    bool rawCommand_ = false;                  // the line being sent was typed by the user
    bool unaskedNoted_ = false;                // a reply nothing was waiting for has been noted
    bool controlShown_ = false;                // the connected display state is on
    void waitFor(TransferWait what, int ms);
    void stopWaiting();
    void transferWaitExpired(quint64 id);
    bool retrOutstanding() const;              // RETR of a download sent, its end not yet known
    bool downloadReply(const QString& code, const QString& reply);  // true when it was the answer
    void completeDownload();                   // data closed and confirmed: keep the file
    void failDownload(const QString& why);     // drop the part, end the batch, say so
    void endDownloadBatch();                   // the download batch is over: its end, then the local list
    void failNamedTransfer(const QString& text, const QString& why);  // end, log the text, tell it with why
    void failUpload(const QString& why);       // the server or the data connection ended the upload early
    void controlLost(const QString& message);  // the control connection ended under us
    QString unfinishedTransfer() const;        // what to tell when the running transfer is cut off

    // ---- transfer progress on the status line, paced (transfer/) ----------
    QString transferStatus_;                   // progress text of the running transfer, rebuilt in place
    bool transferStatusPending_ = false;       // rebuilt since it was last put on the status line
    class QTimer* statusPace_ = nullptr;       // puts it there at most once a frame
    void showTransferStatus(bool now);         // now: at once (the last block's text)
    qint64 uploadStartMs_ = 0;                 // Time_start of the upload, in ms since the epoch
    qint64 uploadStartWallMs_ = 0;             // and as read on the wall clock (local date and time)
    qint64 uploadWallSeconds_ = -1;            // wall-clock seconds at the last exact count
    qint64 uploadElapsed_ = 0;                 // that exact count
    void countUploadSeconds(const QDateTime& now);  // uploadElapsed_ at now
    qint64 uploadLength_ = 0;                  // length of the upload at its last progress event

    // ---- download and upload batches (transfer/) --------------------------
    QString downloadTarget() const;            // drive path of the file being downloaded
    void MDOWN_Click();                        // download the selected remote files
    void Mupload_Click();                      // upload the selected local files
    void Down_sele();                          // next file of a download batch
    void down_loadA();                         // TYPE for the current download
    void Up_LoadA();                           // next upload: same-name check, STOR
    void Up_select();                          // next file of an upload batch
    void Up_loadB();                           // STOR for the current upload
    void uploadMayStart();                     // "1xx" after STOR on an early data connection
    void Up_next();                            // next block of the upload
    void Winsock2_SendProgress(qint64 bytesSent, qint64 bytesRemaining);
    void Winsock2_SendComplete();
    Form13* sameNameDialog();                  // created on first use
    std::unique_ptr<class TransferBatch> batch_;            // the running download or upload batch
    std::unique_ptr<class RemoteFolderWalk> folderWalk_;    // set while the batch's server folders are listed
    void goOnAfterRefusal(const QString& reply);  // the server refused this file: noted, the next one
    void sendTransferCommand();                // REST when resuming, else RETR or STOR
    QString uploadInHand() const;              // the file the upload is at, sent or about to be

    // ---- file operations (fileops/) ---------------------------------------
    void Dele_next();                          // next DELE of a remote delete batch
    void Rename_ready();                       // "350": ask for the new name
    void wireFileOperations();                 // the delete, folder, rename and view menu items
    void Mrmdir_Click();                       // delete in the active list
    void Local_delete();                       // the selected local files
    void Remote_delete();                      // confirm, then one DELE per "250"
    void Folder_delete();                      // the focused local folder with all below it
    std::unique_ptr<class RemoteTreeDelete> treeDelete_;  // set while remote folders are being deleted
    void MMkdir_Click();                       // make a folder in the active list
    void Mrename_Click();                      // rename the focused item of the active list
    void Mtext_Click();                        // the selected file in the text editor
    class Form6* renameDialog();               // the new-name window, created on first use
    class Form6* form6_ = nullptr;

    // ---- shell, shutdown, menus, retry, raw command (app/, ftp/) ------------
    void wireShellAndMenus();                  // toolbar, menu and popup items to their handlers
    void Toolbar1_ButtonClick(QAction* button); // routes a toolbar click by its caption
    void Mabore_Click();                       // abort the running transfer
    void Msend_Click();                        // raw command window
    void Mserver_list_Click();
    void Mnew_Click();                         // refresh the active list
    void Mabout_Click();
    void Msetumei_Click();                     // the help page
    void M_shell_Click();                      // open the selected local file
    void Shell_open(const QString& drivePath); // with its associated program
    void Mend_Click();
    void Form_QueryUnload(int& Cancel);        // the close request; Cancel != 0 keeps the window
    void closeEvent(QCloseEvent* event) override;
    void Shutdown_now(bool quitSent);          // size saved, files closed, program ended
    class Form12* retryDialog();               // each created on first use, then kept
    class Form2* rawCommandDialog();
    class Form7* aboutDialog();
    class Form12* form12_ = nullptr;
    class Form2* form2_ = nullptr;
    class Form7* form7_ = nullptr;
    bool shellWired_ = false;
    bool ending_ = false;                      // the program is on its way out

    // ---- remote listing (listing/) ----------------------------------------
    void Remote_list();                        // the listing file into ListView1; ends the listing's operation
    std::shared_ptr<struct RemoteListJob> remoteListJob_;  // set while Remote_list works on, step by step
    void remoteListStep();
    bool remoteListRunning() const;            // a list of the running operation is being built

    // ---- local listing and drives (listing/) -------------------------------
    void Local_list();
    class LocalFolderWatch* localWatch_ = nullptr;  // lists the folder again when another program changes it
    void openLocalStartFolder();               // the last exit's folder, else home, listed
    void showLocalFolder(const QString& drivePath);  // "c:\home\u", a trailing '\' or not: there, listed
    void wireDragAndDrop();
    QString currentDrive() const;              // "c:" of Drive1
    // Selects the drive; false when it was already selected (no change event).
    bool selectDrive(const QString& letterColon);
    void fillDriveList();

    // ---- list interaction and navigation (listing/) ----------------------
    bool dataBusy() const;                     // a data connection is established
    void activateList(bool remote);
    void listKey(bool remote, int key);        // F5, Delete, F2, Backspace in a list
    void sortByHeader(ListView* list, int column);
    void ListView2_DblClick();
    void Command2_Click();
    void Drive1_Change();
    void Mview_Click(int index);
    void showPopup(bool remote, const QPoint& globalPos);
    void ListView1_DblClick();
    void CDUP_Click();
    void Combo1_Click(int index);
    void Combo1_LostFocus();
    void mlist_Click(int index);
    void mlist1_Click();

    // ---- files kept open across socket events (transfer/) -----------------
    std::unique_ptr<QFile> listingFile;    // "temp.s" while a listing arrives
    std::unique_ptr<QFile> textViewFile;   // "text.txt" while a text view arrives
    std::unique_ptr<QFileDevice> downloadFile; // the local target of a download (a ReplacingFile)
    std::unique_ptr<QFile> uploadFile;     // the local source of an upload
    void closeAllFiles();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void wireListEvents();
    void wireControlSocket();
    void wireDataSocket();
    void wireRemoteNavigation();
    void receiveListingBlock();
    void receiveDownloadBlock();
    bool openDownloadTarget();
    bool writeChunk(QFileDevice& file, const QByteArray& bytes);
    void failTransfer(const QString& text);
    void finishTextView();
    void finishDownload();
    void dispatchReply(const QString& reply);
    void reply501();
    void reply226();
    void connectionFailed();
    Form4* form4_ = nullptr;
    Form13* form13_ = nullptr;
    bool storSent_ = false;                    // STOR of the current upload is on its way
    bool storAccepted_ = false;                // and the server answered it with "1xx"
    void finishUploadFile();
    qint64 uploadLength() const;
    ReplyFramer replyFramer_;
    QStringList replyQueue_;
    bool dispatching_ = false;
    bool listLocalFolder();
    void fillLocalEntries(const QString& nativeDir);
    void createControls();
    void createMenus();
    void createToolbar();
    QWidget* client_ = nullptr;        // the area below the menu bar
    form11* splash_ = nullptr;
};

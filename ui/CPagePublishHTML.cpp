// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPagePublishHTML.h"

#include <algorithm>

#include <unistd.h>

#include <fmt/printf.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/QtText.h"
#include "core/Browser.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/RecentList.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"
#include "core/Shell.h"
#include "core/StopRequest.h"
#include "core/StringTable.h"
#include "media/StreamMaker.h"
#include "players/PlayerMarkup.h"
#include "publish/CPublishJob.h"
#include "publish/InsertionGuard.h"
#include "publish/SiteLayout.h"
#include "ui/CBusyWork.h"
#include "ui/CConvertDialog.h"
#include "ui/CDialogFind.h"
#include "ui/CFileDialogEx.h"
#include "ui/CQtCopyQuestions.h"
#include "ui/CSourceView.h"
#include "ui/CWaitCursor.h"
#include "ui/WizardTexts.h"

namespace {

constexpr const char* kHistorySection = settings::kPageHistory;

// Questions asked while the wait cursor shows are answered with the arrow.
class CArrowForQuestions : public IMessageBox {
public:
    CArrowForQuestions() : m_previous(GetMessageBox()) { SetMessageBox(this); }
    ~CArrowForQuestions() override { SetMessageBox(&m_previous); }
    CArrowForQuestions(const CArrowForQuestions&) = delete;
    CArrowForQuestions& operator=(const CArrowForQuestions&) = delete;
    int Show(unsigned type, const std::string& text) override {
        CWaitCursor arrow(Qt::ArrowCursor);
        return m_previous.Show(type, text);
    }

private:
    IMessageBox& m_previous;
};

// The code for a page with what it copies into the site: equal sources publish the same.
std::string CodeSource(const CPublishJob& job, const PageCode& code) {
    std::string source = code.head + '\0' + code.body + '\0' + job.PlayerFolderName();
    for (const std::string& media : job.Request().mediaFiles) {
        source += '\0' + media;
    }
    return source;
}

bool IsHtmlFile(const QString& path) {
    static const QMimeDatabase mimeTypes;
    return mimeTypes.mimeTypeForFile(path).inherits(QStringLiteral("text/html"));
}

}  // namespace

CPagePublishHTML::CPagePublishHTML(CWizardState& state, QWidget* parent)
    : QWizardPage(parent),
      m_state(state),
      m_fnRunFileDialog([](CFileDialogEx& dialog) { return dialog.DoModal(); }) {
    setTitle(ToQt(LoadStringRes(IDS_PUBLISH_PAGE_TITLE)));
    setSubTitle(ToQt(LoadStringRes(IDS_PUBLISH_PAGE_SUBTITLE)));
    setWindowTitle(QString::fromUtf8(kWizardPageCaption));
    m_page.SetReport(&m_report);
    m_arrHistory = LoadRecentList(GetSettingsStore(), kHistorySection, true);

    auto* pathLabel = new QLabel(QStringLiteral("Publish to your web page"), this);
    QLayout* pathRow = MakePathRow();
    pathLabel->setBuddy(m_pPathBox);

    auto* viewLabel = new QLabel(this);
    viewLabel->setTextFormat(Qt::PlainText);
    viewLabel->setText(
        QStringLiteral("Insert HTML5 Video/Audio within <BODY> tag of your web page:"));
    m_pSourceView = new CSourceView(this);
    m_pSourceView->setObjectName(QStringLiteral("source"));
    viewLabel->setBuddy(m_pSourceView);
    m_pSourceView->setAccessibleDescription(
        QStringLiteral("The page's HTML source. Insert Code puts the player at the cursor."));
    // While no page is loaded the view says what to do next.
    m_pSourceView->setPlaceholderText(ToQt(LoadStringRes(IDS_PUBLISH_NEXT_STEP)));
    m_pFindButton = new QPushButton(QStringLiteral("&Find"), this);
    m_pInsertButton = new QPushButton(QStringLiteral("&Insert Code"), this);
    m_pPreviewButton = new QPushButton(QStringLiteral("Pre&view"), this);
    m_pResetButton = new QPushButton(QStringLiteral("&Reset"), this);

    auto* commands = new QVBoxLayout;
    for (QPushButton* button : {m_pFindButton, m_pInsertButton, m_pPreviewButton, m_pResetButton}) {
        // Enter belongs to the wizard's Finish, not to the last command clicked.
        button->setAutoDefault(false);
        commands->addWidget(button);
    }
    commands->addStretch();
    auto* viewRow = new QHBoxLayout;
    viewRow->addWidget(m_pSourceView, 1);
    viewRow->addLayout(commands);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathLabel);
    layout->addLayout(pathRow);
    layout->addWidget(viewLabel);
    layout->addLayout(viewRow, 1);

    ShowHistory(std::string());
    EnablePageCommands(false);
    setAcceptDrops(true);

    connect(m_pBrowseButton, &QToolButton::clicked, this, &CPagePublishHTML::OnBrowse);
    connect(m_pPathBox, &QComboBox::activated, this, &CPagePublishHTML::OnSelectPage);
    connect(m_pFindButton, &QPushButton::clicked, this, &CPagePublishHTML::OnFind);
    connect(m_pInsertButton, &QPushButton::clicked, this, &CPagePublishHTML::OnInsertCode);
    connect(m_pPreviewButton, &QPushButton::clicked, this, &CPagePublishHTML::PreviewPage);
    connect(m_pResetButton, &QPushButton::clicked, this, &CPagePublishHTML::OnReset);
    connect(m_pSourceView, &CSourceView::filesDropped, this, &CPagePublishHTML::OnDropFiles);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        if (m_pFindButton->isEnabled()) {
            OnFind();
        }
    });
}

QLayout* CPagePublishHTML::MakePathRow() {
    m_pPathBox = new QComboBox(this);
    m_pPathBox->setObjectName(QStringLiteral("pagePath"));
    m_pPathBox->setEditable(true);
    m_pPathBox->setInsertPolicy(QComboBox::NoInsert);
    // The typed text stays as typed.
    m_pPathBox->setCompleter(nullptr);
    m_pPathBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pPathBox->setMinimumContentsLength(20);
    m_pPathBox->lineEdit()->installEventFilter(this);
    m_pPathBox->installEventFilter(this);
    m_pPathBox->setAccessibleDescription(
        QStringLiteral("Type the path of the web page and press Enter or Tab, or choose one you "
                       "published into before from the list."));
    m_pBrowseButton = new QToolButton(this);
    m_pBrowseButton->setObjectName(QStringLiteral("browse"));
    m_pBrowseButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_pBrowseButton->setAutoRaise(true);
    m_pBrowseButton->setToolTip(ToQt(LoadStringRes(IDS_BROWSE)));
    m_pBrowseButton->setAccessibleName(m_pBrowseButton->toolTip());
    m_pBrowseButton->setAccessibleDescription(ToQt(LoadStringRes(IDS_SELECT_PAGE_DIALOG)));
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_pPathBox, 1);
    pathRow->addWidget(m_pBrowseButton);
    return pathRow;
}

CPagePublishHTML::~CPagePublishHTML() {
    SaveRecentList(GetSettingsStore(), kHistorySection, m_arrHistory);
    delete m_pFindDialog;
}

void CPagePublishHTML::SetFileDialogRunnerForTesting(std::function<bool(CFileDialogEx&)> runner) {
    m_fnRunFileDialog =
        runner ? std::move(runner) : [](CFileDialogEx& dialog) { return dialog.DoModal(); };
}

void CPagePublishHTML::initializePage() {
    m_state.m_job.SetChoices(ChoicesFromOptions(*COptions::Instance()));
    CurrentSite();
    TakePoster();
    if (m_page.IsPageOpen()) {
        ReturnToLoadedPage();
        return;
    }
    SetFinishEnabled(true);
    m_pPathBox->setEditText(QString());
    ClearPage();
}

const SiteLayout& CPagePublishHTML::CurrentSite() {
    m_state.m_job.SetSite(SiteFromOptions(*COptions::Instance()));
    return m_state.m_job.Site();
}

void CPagePublishHTML::ReturnToLoadedPage() {
    const std::string path = m_page.PagePath();
    if (!PrepareStream(path)) {
        ClearPage();
        return;
    }
    const PageCode code = m_state.m_job.MakeCode(path, PLAYER_MODE_PUBLISH);
    if (code.made && CodeSource(m_state.m_job, code) == m_strCodeSource) {
        return;
    }
    const bool worked = m_page.IsInserted() || m_pSourceView->GetText() != m_page.OriginalText();
    if (CheckAndOpen(path) && worked) {
        MessageBoxRes(MB_OK | MB_ICONINFORMATION, IDS_PAGE_RELOADED_INSERT_AGAIN, path);
    }
}

void CPagePublishHTML::TakePoster() {
    CPublishJob& job = m_state.m_job;
    if (!job.NeedsPoster()) {
        return;
    }
    // ffmpeg takes a moment; the window keeps painting meanwhile.
    const std::string folder = COptions::Instance()->m_strWorkFolder;
    bool taken = false;
    CBusyWork::Run([&job, &folder, &taken] { taken = job.TakePoster(folder); });
    if (!taken) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_POSTER_FAILED, job.Request().mediaFiles.front(),
                      job.PosterProblem());
    }
}

bool CPagePublishHTML::PrepareStream(const std::string& pagePath) {
    CPublishJob& job = m_state.m_job;
    // Without qualities this only forgets a stream of an earlier choice.
    if (!job.Request().qualities) {
        return job.PrepareStream(pagePath, {}).empty();
    }
    const std::string media = job.Request().mediaFiles.front();
    std::string names;
    for (const Rendition& rendition : PlanRenditions(job.Details().m_nHeight)) {
        names += (names.empty() ? "" : ", ") + rendition.Name();
    }
    std::string problem;
    CConvertDialog dialog(
        fmt::sprintf(LoadStringRes(IDS_STREAM_MAKING), GetPathFileName(media)),
        fmt::sprintf(LoadStringRes(IDS_STREAM_PLAN), names),
        [&](const CMediaConverter::ProgressHandler& progress, std::stop_token stop) {
            problem = job.PrepareStream(pagePath, progress, stop);
            return problem.empty();
        },
        window());
    dialog.setWindowTitle(QString::fromUtf8(kWizardPageCaption));
    if (dialog.Run()) {
        return true;
    }
    // The program is ending: nobody is left to answer a message.
    if (!StopRequested()) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_STREAM_FAILED, media, problem, pagePath);
    }
    return false;
}

void CPagePublishHTML::ClearPage() {
    // The text is gone, so the page has to be loaded again before it can be published.
    m_page.Close();
    m_state.m_job.StopPreview();
    m_page.SetText(std::string());
    m_pSourceView->SetText(std::string());
    m_page.SetModified(false);
    SetFinishEnabled(false);
    EnablePageCommands(false);
}

void CPagePublishHTML::EnablePageCommands(bool enabled) {
    for (QPushButton* button : {m_pFindButton, m_pInsertButton, m_pPreviewButton, m_pResetButton}) {
        button->setEnabled(enabled);
    }
}

void CPagePublishHTML::SetFinishEnabled(bool enabled) {
    if (m_bFinishEnabled != enabled) {
        m_bFinishEnabled = enabled;
        emit completeChanged();
    }
}

bool CPagePublishHTML::OpenPage(const std::string& path) {
    if (auto loaded = m_page.LoadPage(path, m_state.m_job.OpenSite(path).value); !loaded) {
        ShowMessage(loaded.why);
        ClearPage();
        return false;
    }
    if (!PrepareStream(path)) {
        ClearPage();
        return false;
    }
    const PageCode code = m_state.m_job.MakeCode(path, PLAYER_MODE_PUBLISH);
    m_strCodeSource = CodeSource(m_state.m_job, code);
    m_page.SetHeadCode(code.head);
    m_page.SetBodyCode(code.body, code.ownLines);
    if (!code.made) {
        const auto& media = m_state.m_job.Request().mediaFiles;
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_NOT_HTML5_MEDIA,
                      (media.empty() ? std::string() : media.front()) + "\r\n");
        ClearPage();
        return false;
    }
    EnablePageCommands(true);
    m_pSourceView->SetText(m_page.Text());
    m_page.SetModified(false);
    SetFinishEnabled(false);
    return true;
}

bool CPagePublishHTML::CheckAndOpen(const std::string& path, bool keepInUse) {
    if (auto inSite = CurrentSite().CheckPageLocation(path); !inSite) {
        ShowMessage(inSite.why);
        m_pPathBox->setFocus();
        // The page in use stays, with its code, and the box names it again.
        if (keepInUse && m_page.IsPageOpen()) {
            ShowHistory(m_page.PagePath());
        } else {
            ClearPage();
        }
        return false;
    }
    return OpenPage(path);
}

void CPagePublishHTML::ShowHistory(const std::string& current) {
    m_pPathBox->clear();
    for (const std::string& entry : m_arrHistory) {
        m_pPathBox->addItem(ToQt(entry));
    }
    const int index =
        m_pPathBox->findText(ToQt(current), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        m_pPathBox->setCurrentIndex(index);
    } else {
        m_pPathBox->setEditText(ToQt(current));
    }
}

void CPagePublishHTML::AddToHistory(const std::string& path) {
    AddToRecentList(m_arrHistory, path);
    ShowHistory(path);
}

void CPagePublishHTML::OnBrowse() {
    CFileDialogEx dialog(LoadStringRes(IDS_SELECT_PAGE_DIALOG), LoadStringRes(IDS_PAGE_FILTER),
                         true, this);
    dialog.StartBelow(COptions::Instance()->m_strSiteRoot);
    if (!m_fnRunFileDialog(dialog)) {
        return;
    }
    const std::string path = dialog.GetPathName();
    if (path.empty()) {
        return;
    }
    if (auto inSite = CurrentSite().CheckPageLocation(path); !inSite) {
        ShowMessage(inSite.why);
        return;
    }
    AddToHistory(path);
    OpenPage(path);
}

void CPagePublishHTML::OnSelectPage(int) {
    // The box's text is the entry chosen, or what was typed when none is.
    OnLoadTypedPage();
}

void CPagePublishHTML::OnLoadTypedPage() {
    const std::string path = TrimWhiteSpace(FromQt(m_pPathBox->currentText()));
    // The page shown is not loaded again: that would lose the cursor and any code inserted.
    if (path.empty() || (m_page.IsPageOpen() && path == m_page.PagePath())) {
        return;
    }
    if (CheckAndOpen(path, true)) {
        AddToHistory(path);
    }
}

bool CPagePublishHTML::eventFilter(QObject* watched, QEvent* event) {
    // With a real keyboard the keys reach the box, which hands them to its line edit
    // directly, past any filter there.
    const bool box = watched == m_pPathBox || watched == m_pPathBox->lineEdit();
    if (box && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // Enter loads the typed page; it must not reach the wizard's Finish.
            m_pPathBox->hidePopup();
            OnLoadTypedPage();
            return true;
        }
    }
    if (watched == m_pPathBox && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Left with the keyboard, the typed page is loaded once the focus has moved. A click
        // does its own work (Browse, Back, Publish), which a load in between would undo.
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
            reason == Qt::ShortcutFocusReason) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (isVisible() && !m_bPublishing) {
                        OnLoadTypedPage();
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return QWizardPage::eventFilter(watched, event);
}

void CPagePublishHTML::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CPagePublishHTML::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths << url.toLocalFile();
        }
    }
    event->acceptProposedAction();
    OnDropFiles(paths);
}

void CPagePublishHTML::OnDropFiles(const QStringList& paths) {
    activateWindow();
    std::string first;
    for (const QString& dropped : paths) {
        const std::string path = FromQt(dropped);
        if (!IsHtmlFile(dropped) || !CurrentSite().CheckPageLocation(path)) {
            continue;
        }
        if (std::find(m_arrHistory.begin(), m_arrHistory.end(), path) == m_arrHistory.end()) {
            AddToRecentList(m_arrHistory, path);
        }
        if (first.empty()) {
            first = path;
        }
    }
    if (first.empty()) {
        return;
    }
    ShowHistory(first);
    OpenPage(first);
}

void CPagePublishHTML::OnFind() {
    if (m_pFindDialog) {
        m_pFindDialog->show();
        m_pFindDialog->raise();
        m_pFindDialog->activateWindow();
        return;
    }
    m_pFindDialog = new CDialogFind(this);
    m_pFindDialog->SetSearch(m_strFindText, m_nFindCode);
    // What it holds when it closes is where the next one starts, searched for or not.
    connect(m_pFindDialog, &QDialog::finished, this, [this] {
        m_strFindText = m_pFindDialog->FindEdit()->text();
        m_nFindCode = (m_pFindDialog->UpButton()->isChecked() ? CDialogFind::kFindUp : 0) +
                      (m_pFindDialog->MatchCaseBox()->isChecked() ? CDialogFind::kMatchCase : 0);
    });
    connect(m_pFindDialog, &CDialogFind::findInPage, this, &CPagePublishHTML::OnFindInPage);
    m_pFindDialog->show();
}

void CPagePublishHTML::OnFindInPage(const QString& text, int code) {
    const bool up = code % 10 != 0;
    QTextDocument::FindFlags flags;
    if (up) {
        flags |= QTextDocument::FindBackward;
    }
    if (code / 10 != 0) {
        flags |= QTextDocument::FindCaseSensitively;
    }
    // One character past the selection's start either way, so the same match is not found
    // again; a backward search already leaves out the character at its start.
    const int start = m_pSourceView->textCursor().selectionStart();
    const QTextCursor found = m_pSourceView->document()->find(text, up ? start : start + 1, flags);
    if (found.isNull()) {
        MessageBoxRes(MB_OK | MB_ICONINFORMATION, IDS_CANNOT_FIND, FromQt(text));
        return;
    }
    m_pSourceView->setTextCursor(found);
    m_pSourceView->ensureCursorVisible();
}

bool CPagePublishHTML::ConfirmInsertionPoint() {
    const std::string_view text = m_pSourceView->GetText();
    const PageSelection selection = m_pSourceView->GetSelection();
    InsertionCheck check;
    auto work = [&] { check = m_page.CheckInsertionPoint(text, selection); };
    // Reading a page of megabytes takes a moment; the window keeps painting meanwhile.
    if (text.size() > (size_t{1} << 20)) {
        CBusyWork::Run(work);
    } else {
        work();
    }
    const bool selected = selection.end > selection.start;
    if (check.openToEnd) {
        return MessageBoxRes(
                   MB_OKCANCEL | MB_ICONWARNING, IDS_INSERT_POINT_OPEN,
                   DescribeInsertionPoint(check), LineAtOffset(text, selection.start),
                   selected ? LoadStringRes(IDS_INSERT_ANYWAY_REPLACES) : std::string()) == IDOK;
    }
    if (!check.IsSafe()) {
        const int answer =
            MessageBoxRes(MB_YESNOCANCEL | MB_ICONWARNING, IDS_INSERT_POINT_QUESTION,
                          DescribeInsertionPoint(check), LineAtOffset(text, selection.start),
                          LineAtOffset(text, check.safeOffset),
                          selected ? LoadStringRes(IDS_INSERT_ANYWAY_REPLACES) : std::string());
        if (answer == IDYES) {
            m_pSourceView->SetSelection(check.safeOffset, check.safeOffset);
        }
        return answer == IDYES || answer == IDNO;
    }
    if (selected) {
        return MessageBoxRes(MB_OKCANCEL | MB_ICONQUESTION, IDS_INSERT_REPLACES_SELECTION,
                             m_pSourceView->textCursor().selectedText().size()) == IDOK;
    }
    return true;
}

void CPagePublishHTML::OnInsertCode() {
    if (!ConfirmInsertionPoint()) {
        return;
    }
    const size_t start = m_pSourceView->GetSelection().start;
    m_pSourceView->BeginEditGroup();
    m_page.InsertPlayerCode(*m_pSourceView);
    m_pSourceView->EndEditGroup();
    // Without head code the cursor is left after the code, with nothing selected.
    PageSelection inserted = m_pSourceView->GetSelection();
    if (inserted.start == inserted.end) {
        inserted.start = start;
    }
    m_pSourceView->ShowMarked(inserted.start, inserted.end);
    m_pSourceView->setFocus();
    SetFinishEnabled(true);
}

void CPagePublishHTML::OnReset() {
    m_page.Reset(*m_pSourceView);
    m_page.SetModified(false);
    SetFinishEnabled(false);
}

std::string CPagePublishHTML::MediaExtension() const {
    const auto& media = m_state.m_job.Request().mediaFiles;
    return media.empty() ? std::string() : GetPathExtension(media.front());
}

void CPagePublishHTML::PreviewPage() {
    std::string text(m_pSourceView->GetText());
    if (text.empty()) {
        return;
    }
    if (const auto url = m_state.m_job.ServePreview(m_page, std::move(text))) {
        ShowMessage(OpenInBrowser(url.value, MediaExtension()).why);
    } else {
        ShowMessage(url.why);
    }
}

bool CPagePublishHTML::PublishPage() {
    if (!m_page.IsPageOpen()) {
        return false;
    }
    CWaitCursor wait;
    CArrowForQuestions arrow;
    const std::string pagePath = m_page.PagePath();
    PublishOutcome outcome;
    {
        CQtCopyQuestions questions(this);
        outcome =
            m_state.m_job.PublishPage(m_page, std::string(m_pSourceView->GetText()), questions);
    }
    if (!outcome.Published()) {
        if (outcome.failure && !outcome.cancelled) {
            ShowMessage(*outcome.failure);
        }
        return false;
    }
    switch (COptions::Instance()->m_nAfterPublishActions) {
        case 1:
            ShowMessage(ShowInExplorer(false, pagePath).why);
            break;
        case 2:
            ShowMessage(OpenInBrowser(pagePath, MediaExtension()).why);
            break;
        default:
            break;
    }
    return true;
}

void CPagePublishHTML::OnWizardFinish() {
    if (m_bPublishing || !m_bFinishEnabled) {
        return;
    }
    m_bPublishing = true;
    const bool published = PublishPage();
    m_bPublishing = false;
    if (!published) {
        return;
    }
    m_page.Close();
    m_page.SetModified(false);
    SetFinishEnabled(false);
    EnablePageCommands(false);
    if (MessageBoxRes(MB_YESNO | MB_ICONQUESTION, IDS_PUBLISH_ANOTHER) != IDYES) {
        // The pages of this media are done: its poster goes.
        m_state.m_job.End();
        emit returnToFirstPage();
        return;
    }
    // The published page is done with: the next one is chosen in the box.
    ClearPage();
    ShowHistory(std::string());
    m_pPathBox->setFocus(Qt::OtherFocusReason);
}

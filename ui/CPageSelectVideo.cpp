// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CPageSelectVideo.h"

#include <algorithm>
#include <cerrno>
#include <span>
#include <utility>

#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/CBoxReport.h"
#include "app/QtText.h"
#include "core/MessageBox.h"
#include "core/Options.h"
#include "core/PathUtils.h"
#include "core/RecentList.h"
#include "core/SettingsKeys.h"
#include "core/SettingsStore.h"
#include "core/Shell.h"
#include "core/StringTable.h"
#include "media/MediaConverter.h"
#include "ui/CConvertDialog.h"
#include "ui/CElidedLabel.h"
#include "ui/CFileDialogEx.h"
#include "ui/CHTML5Sheet.h"
#include "ui/CPublishedMediaDialog.h"
#include "ui/WizardTexts.h"

namespace {

constexpr const char* kHistorySection = settings::kMediaHistory;

const struct {
    const char* label;
    const char* name;
} kDetailFields[] = {
    {"Name:", "nameText"},
    {"Size:", "sizeText"},
    {"Duration:", "durationText"},
    {"Format:", "formatText"},
    {"Video Codec:", "videoCodecText"},
    {"Video Dimension:", "videoDimensionText"},
    {"Video Framerate:", "videoFramerateText"},
    {"Audio Codec:", "audioCodecText"},
    {"Audio Samplerate:", "audioSamplerateText"},
    {"Audio Channel(s):", "audioChannelsText"},
};
constexpr int kGeneralFields = 4;

std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (!data || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            paths.push_back(FromQt(url.toLocalFile()));
        }
    }
    return paths;
}

// "*.a;*.b;..." for the extensions of both lists, the first list's first.
std::string Patterns(std::span<const char* const> first, std::span<const char* const> second) {
    std::string patterns;
    for (const auto list : {first, second}) {
        for (const char* extension : list) {
            patterns += (patterns.empty() ? "*" : ";*") + std::string(extension);
        }
    }
    return patterns;
}

// The dialog opens on every extension the program accepts, what can be made web-ready
// included; the single formats follow.
std::string MediaDialogFilter() {
    const std::string patterns = Patterns(kHtml5MediaExtensions, kConvertibleExtensions);
    return "All supported media(" + patterns + ")|" + patterns + "|" +
           CPageSelectVideo::kMediaFilter;
}

bool HasDropListExtension(const std::string& path, const std::vector<std::string>& extensions) {
    return std::ranges::any_of(extensions,
                               [extension = GetPathExtension(path)](const auto& allowed) {
                                   return EqualsNoCase(extension, allowed);
                               });
}

}  // namespace

CPageSelectVideo::CPageSelectVideo(CWizardState& state, QWidget* parent)
    : QWizardPage(parent),
      m_state(state),
      m_fileDialogRunner([](CFileDialogEx& dialog) { return dialog.DoModal(); }) {
    setTitle(ToQt(LoadStringRes(IDS_SELECT_MEDIA_TITLE)));
    setSubTitle(ToQt(LoadStringRes(IDS_SELECT_MEDIA_SUBTITLE)));
    setWindowTitle(QString::fromUtf8(kWizardPageCaption));
    setAcceptDrops(true);

    auto* pathLabel = new QLabel(QStringLiteral("Select an HTML5 Video or Audio:"), this);
    QLayout* pathRow = MakePathRow();
    pathLabel->setBuddy(m_pMediaPathBox);
    QLayout* groups = MakeDetailGroups();
    m_pOptionsButton = new QPushButton(QStringLiteral("Publish &Options"), this);
    m_pOptionsButton->setObjectName(QStringLiteral("optionsButton"));
    m_pOptionsButton->setToolTip(ToQt(LoadStringRes(IDS_OPTIONS_TOOLTIP)));
    m_pOptionsButton->setAutoDefault(false);
    m_pPreviewButton = new QPushButton(QStringLiteral("&Preview"), this);
    m_pPreviewButton->setObjectName(QStringLiteral("previewButton"));
    m_pPreviewButton->setToolTip(ToQt(LoadStringRes(IDS_PREVIEW_TOOLTIP)));
    m_pPreviewButton->setAutoDefault(false);
    m_pPreviewButton->setEnabled(false);

    MakeNoteRow();
    auto* publishedButton = new QPushButton(QStringLiteral("Pu&blished Media..."), this);
    publishedButton->setObjectName(QStringLiteral("publishedMediaButton"));
    publishedButton->setAutoDefault(false);
    connect(publishedButton, &QPushButton::clicked, this, [this] {
        CPublishedMediaDialog(SiteFromOptions(*COptions::Instance()), window()).exec();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pOptionsButton);
    buttons->addWidget(publishedButton);
    buttons->addWidget(MakeSourcesButton());
    buttons->addStretch(1);
    buttons->addWidget(m_pPreviewButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathLabel);
    layout->addLayout(pathRow);
    layout->addSpacing(6);
    // The boxes keep to their rows; a taller window leaves its room below them, not inside.
    layout->addLayout(groups);
    layout->addWidget(m_pNoteRow);
    layout->addStretch(1);
    layout->addLayout(buttons);

    m_arrHistory = LoadRecentList(GetSettingsStore(), kHistorySection, true);
    FillHistory();

    connect(m_pMediaPathBox, &QComboBox::activated, this, &CPageSelectVideo::OnHistoryActivated);
    connect(m_pBrowseButton, &QToolButton::clicked, this, &CPageSelectVideo::OnBrowse);
    connect(m_pPreviewButton, &QPushButton::clicked, this, &CPageSelectVideo::OnPreview);
    connect(m_pOptionsButton, &QPushButton::clicked, this, &CPageSelectVideo::OnPublishOptions);
}

QLayout* CPageSelectVideo::MakePathRow() {
    m_pMediaPathBox = new QComboBox(this);
    m_pMediaPathBox->setObjectName(QStringLiteral("mediaPathBox"));
    m_pMediaPathBox->setEditable(true);
    m_pMediaPathBox->setInsertPolicy(QComboBox::NoInsert);
    m_pMediaPathBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_pMediaPathBox->setMinimumContentsLength(30);
    // A file dropped on the box is a file to load, not text to insert.
    m_pMediaPathBox->lineEdit()->setAcceptDrops(false);
    m_pMediaPathBox->lineEdit()->installEventFilter(this);
    m_pMediaPathBox->installEventFilter(this);
    m_pMediaPathBox->setAccessibleDescription(
        QStringLiteral("Type the path of the file and press Enter or Tab, or choose one you "
                       "used before from the list."));

    auto* files = new QFileSystemModel(this);
    QStringList patterns;
    for (const char* extension : kHtml5MediaExtensions) {
        patterns << QStringLiteral("*") + QLatin1String(extension);
    }
    for (const char* extension : kConvertibleExtensions) {
        patterns << QStringLiteral("*") + QLatin1String(extension);
    }
    files->setNameFilters(patterns);
    files->setNameFilterDisables(false);
    files->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    files->setRootPath(QString());
    auto* completer = new QCompleter(files, this);
    completer->setCaseSensitivity(Qt::CaseSensitive);
    m_pMediaPathBox->setCompleter(completer);
    // Ahead of the completer's own filter, which would hand Enter to the box behind the
    // wizard's back.
    m_pCompletionList = completer->popup();
    m_pCompletionList->installEventFilter(this);
    // The completer only walks folders the model has listed; a pasted path has none of them.
    connect(m_pMediaPathBox->lineEdit(), &QLineEdit::textEdited, files,
            [files](const QString& text) {
                const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
                if (slash >= 0) {
                    files->index(slash == 0 ? QStringLiteral("/") : text.left(slash));
                }
            });

    m_pBrowseButton = new QToolButton(this);
    m_pBrowseButton->setObjectName(QStringLiteral("browseMedia"));
    m_pBrowseButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    m_pBrowseButton->setToolTip(ToQt(LoadStringRes(IDS_SELECT_MEDIA_DIALOG)));
    m_pBrowseButton->setAccessibleName(m_pBrowseButton->toolTip());
    m_pBrowseButton->setAutoRaise(true);
    auto* pathRow = new QHBoxLayout;
    pathRow->addWidget(m_pMediaPathBox, 1);
    pathRow->addWidget(m_pBrowseButton);
    return pathRow;
}

QLayout* CPageSelectVideo::MakeDetailGroups() {
    auto* general = new QGroupBox(QStringLiteral("General"), this);
    auto* detail = new QGroupBox(QStringLiteral("Detail"), this);
    auto* generalGrid = new QGridLayout(general);
    auto* detailGrid = new QGridLayout(detail);
    for (int i = 0; i < static_cast<int>(m_arrDetails.size()); ++i) {
        QGroupBox* group = i < kGeneralFields ? general : detail;
        QGridLayout* grid = i < kGeneralFields ? generalGrid : detailGrid;
        const int row = i < kGeneralFields ? i : i - kGeneralFields;
        auto* value = new CElidedLabel(group);
        value->setObjectName(QString::fromUtf8(kDetailFields[i].name));
        grid->addWidget(new QLabel(QString::fromUtf8(kDetailFields[i].label), group), row, 0);
        grid->addWidget(value, row, 1);
        m_arrDetails[static_cast<size_t>(i)] = value;
    }
    // Whether the file starts playing before it is all loaded, below the general details.
    m_pFastStartText = new CElidedLabel(general);
    m_pFastStartText->setObjectName(QStringLiteral("fastStartText"));
    auto* fastStartLabel = new QLabel(ToQt(LoadStringRes(IDS_FAST_START_LABEL)), general);
    fastStartLabel->setObjectName(QStringLiteral("fastStartLabel"));
    generalGrid->addWidget(fastStartLabel, kGeneralFields, 0);
    generalGrid->addWidget(m_pFastStartText, kGeneralFields, 1);
    for (QGridLayout* grid : {generalGrid, detailGrid}) {
        grid->setColumnStretch(1, 1);
    }
    auto* groups = new QHBoxLayout;
    groups->addWidget(general, 1);
    groups->addWidget(detail, 1);
    return groups;
}

void CPageSelectVideo::MakeNoteRow() {
    m_pNoteRow = new QWidget(this);
    m_pNoteRow->setObjectName(QStringLiteral("playbackNote"));
    auto* noteLayout = new QHBoxLayout(m_pNoteRow);
    noteLayout->setContentsMargins(0, 0, 0, 0);
    m_pNote = new QLabel(m_pNoteRow);
    m_pNote->setWordWrap(true);
    auto* convertButton = new QPushButton(ToQt(LoadStringRes(IDS_CONVERT_BUTTON)), m_pNoteRow);
    convertButton->setObjectName(QStringLiteral("convertButton"));
    convertButton->setAutoDefault(false);
    noteLayout->addWidget(m_pNote, 1);
    noteLayout->addWidget(convertButton);
    m_pNoteRow->setVisible(false);
    connect(convertButton, &QPushButton::clicked, this, [this] {
        OfferConversion({MEDIA_ACCEPTED, State().m_job.Details()}, IDS_THEORA_OFFER);
    });
}

QPushButton* CPageSelectVideo::MakeSourcesButton() {
    auto* button = new QPushButton(QStringLiteral("Other sources of the same &video…"), this);
    button->setObjectName(QStringLiteral("otherSourcesButton"));
    button->setAutoDefault(false);
    auto* menu = new QMenu(button);
    // The files chosen, then what can be done with them.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        for (const std::string& path : m_otherSources) {
            menu->addAction(ToQt(path))->setEnabled(false);
        }
        menu->addSeparator();
        menu->addAction(QStringLiteral("&Add Files..."), this, &CPageSelectVideo::OnAddSources);
        menu->addAction(QStringLiteral("&Clear"), this, [this] { m_otherSources.clear(); })
            ->setEnabled(!m_otherSources.empty());
    });
    button->setMenu(menu);
    return button;
}

void CPageSelectVideo::OnAddSources() {
    const std::string patterns = Patterns(kHtml5MediaExtensions, {});
    CFileDialogEx dialog(LoadStringRes(IDS_SOURCES_DIALOG),
                         "HTML5 media(" + patterns + ")|" + patterns + "|" + kMediaFilter, true,
                         window());
    dialog.Dialog().setFileMode(QFileDialog::ExistingFiles);
    if (!m_fileDialogRunner(dialog)) {
        return;
    }
    for (const QString& file : dialog.Dialog().selectedFiles()) {
        if (std::ranges::count(m_otherSources, FromQt(file)) == 0) {
            m_otherSources.push_back(FromQt(file));
        }
    }
}

CPageSelectVideo::~CPageSelectVideo() {
    SaveRecentList(GetSettingsStore(), kHistorySection, m_arrHistory);
}

void CPageSelectVideo::SetFileDialogRunner(FileDialogRunner runner) {
    m_fileDialogRunner = std::move(runner);
}

void CPageSelectVideo::FillHistory() {
    const QSignalBlocker blocker(m_pMediaPathBox);
    const QString typed = m_pMediaPathBox->currentText();
    m_pMediaPathBox->clear();
    for (const std::string& entry : m_arrHistory) {
        m_pMediaPathBox->addItem(ToQt(entry));
    }
    // Nothing is chosen until the user chooses it.
    m_pMediaPathBox->setCurrentIndex(-1);
    m_pMediaPathBox->setEditText(typed);
}

int CPageSelectVideo::FindEntry(const std::string& path) const {
    return m_pMediaPathBox->findText(ToQt(path), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

bool CPageSelectVideo::LoadMedia(const std::string& path) {
    m_strLastRead = path;
    if (!PathExists(path)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_MEDIA_NOT_EXIST, path);
        ShowFileInUse();
        return false;
    }
    // The file made web-ready just now: its copy, not another conversion.
    if (!m_strConvertedFrom.empty() && path == m_strConvertedFrom &&
        IsRegularFile(m_strConvertedTo)) {
        MediaDetails copy;
        if (CPublishJob::CheckConverted(m_strConvertedTo, copy)) {
            State().m_job.SetConvertedMedia(m_strConvertedTo, copy, path);
            return InUse(path, copy);
        }
    }
    return Accept(CMediaReader::Read({path}).front());
}

bool CPageSelectVideo::Accept(const CMediaReader::Result& result) {
    switch (result.check.verdict) {
        case MEDIA_ACCEPTED:
            break;
        case MEDIA_NOT_HTML5:
            if (PlanConversion(result.check.details).kind != CONVERSION_NONE) {
                if (OfferConversion(result.check, IDS_CONVERT_OFFER)) {
                    return true;
                }
            } else {
                ReportNotHtml5(result.path + "\r\n");
            }
            ShowFileInUse();
            return false;
        default:
            MessageBoxRes(MB_OK | MB_ICONWARNING,
                          CPublishJob::RefusalMessageId(result.check.verdict), result.path);
            ShowFileInUse();
            return false;
    }
    // Only an accepted file becomes the job's media, so Preview and Next never see a refused
    // one.
    State().m_job.SetMedia(result.path, result.check.details);
    return InUse(result.path, result.check.details);
}

bool CPageSelectVideo::InUse(const std::string& path, const MediaDetails& details) {
    m_strInUse = path;
    ShowDetails(details);
    m_pPreviewButton->setEnabled(true);
    return true;
}

void CPageSelectVideo::ShowFileInUse() {
    m_pMediaPathBox->setFocus();
    if (m_strInUse.empty()) {
        return;
    }
    const QSignalBlocker blocker(m_pMediaPathBox);
    m_pMediaPathBox->setCurrentIndex(FindEntry(m_strInUse));
    m_pMediaPathBox->setEditText(ToQt(m_strInUse));
    // Not read again on leaving the box: its details are the ones shown.
    m_strLastRead = m_strInUse;
}

void CPageSelectVideo::ShowDetails(const MediaDetails& details) {
    const std::string texts[] = {
        GetPathFileName(details.m_strPath), details.GetSizeText(),
        details.GetDurationText(),          details.GetFormatText(),
        details.GetVideoFormatText(),       details.GetResolutionText(),
        details.GetFrameRateText(),         details.GetAudioFormatText(),
        details.GetSampleRateText(),        details.GetChannelsText(),
    };
    for (size_t i = 0; i < m_arrDetails.size(); ++i) {
        m_arrDetails[i]->SetFullText(ToQt(texts[i]));
    }
    m_pFastStartText->SetFullText(ToQt(details.GetFastStartText()));
    ShowPlaybackNote(details);
}

void CPageSelectVideo::ShowPlaybackNote(const MediaDetails& details) {
    const bool note = PlaysOnlyInSomeBrowsers(details);
    if (note) {
        m_pNote->setText(ToQt(LoadStringRes(IDS_THEORA_NOTE)));
    }
    m_pNoteRow->setVisible(note);
}

bool CPageSelectVideo::OfferConversion(const MediaCheck& check, int question) {
    const ConversionPlan plan = PlanConversion(check.details);
    if (plan.kind == CONVERSION_NONE) {
        return false;
    }
    if (MessageBoxRes(MB_YESNO | MB_ICONQUESTION, question, check.details.m_strPath,
                      plan.Describe()) != IDYES) {
        return false;
    }
    return ConvertToMedia(check.details);
}

bool CPageSelectVideo::ConvertToMedia(const MediaDetails& source) {
    const auto converted =
        CConvertDialog::Convert(source, COptions::Instance()->m_strWorkFolder, window());
    if (!converted) {
        return false;
    }
    m_strConvertedFrom = source.m_strPath;
    m_strConvertedTo = converted->m_strPath;
    State().m_job.SetConvertedMedia(converted->m_strPath, *converted, source.m_strPath);
    return InUse(source.m_strPath, *converted);
}

void CPageSelectVideo::OnConvertCommand() {
    const std::string filter = Patterns(kConvertibleExtensions, kHtml5MediaExtensions);
    CFileDialogEx dialog(LoadStringRes(IDS_CONVERT_SELECT_DIALOG),
                         "Video and audio(" + filter + ")|" + filter + "|All Format(*.*)|*.*||",
                         true, window());
    if (!m_fileDialogRunner(dialog)) {
        return;
    }
    const std::string path = dialog.GetPathName();
    if (path.empty()) {
        return;
    }
    const MediaCheck check = CMediaReader::Read({path}).front().check;
    if (check.verdict != MEDIA_ACCEPTED && check.verdict != MEDIA_NOT_HTML5) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, CPublishJob::RefusalMessageId(check.verdict), path);
        return;
    }
    if (PlanConversion(check.details).kind == CONVERSION_NONE) {
        // Already web-ready: it simply becomes the media.
        m_pMediaPathBox->setEditText(ToQt(path));
        m_strLastRead = path;
        Accept({path, check});
    } else {
        ConvertAndSave(check.details);
    }
}

bool CPageSelectVideo::ConvertAndSave(const MediaDetails& source) {
    const ConversionPlan plan = PlanConversion(source);
    const std::string extension = plan.extension;
    const std::string filter =
        extension.substr(1) + "(*" + extension + ")|*" + extension + "|All Format(*.*)|*.*||";
    CFileDialogEx dialog(LoadStringRes(IDS_CONVERT_SAVE_DIALOG), filter, false, window());
    std::string proposed = GetPathFileTitle(source.m_strPath) + extension;
    if (EqualsNoCase(proposed, GetPathFileName(source.m_strPath))) {
        proposed = GetPathFileTitle(source.m_strPath) + "-web" + extension;
    }
    dialog.Dialog().setDirectory(ToQt(GetPathFolder(source.m_strPath)));
    dialog.Dialog().selectFile(ToQt(proposed));
    dialog.Dialog().setDefaultSuffix(ToQt(extension.substr(1)));
    if (!m_fileDialogRunner(dialog)) {
        return false;
    }
    const std::string target = dialog.GetPathName();
    if (target.empty()) {
        return false;
    }
    if (RealPath(target) == RealPath(source.m_strPath)) {
        MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_CONVERT_SAME_FILE, target);
        return false;
    }
    const auto converted = CConvertDialog::Convert(source, std::string(), window(), target);
    if (!converted) {
        return false;
    }
    if (MessageBoxRes(MB_YESNO | MB_ICONQUESTION, IDS_CONVERT_SAVED, converted->m_strPath) ==
        IDYES) {
        const std::string& path = converted->m_strPath;
        AddToRecentList(m_arrHistory, path);
        FillHistory();
        m_pMediaPathBox->setCurrentIndex(FindEntry(path));
        m_pMediaPathBox->setEditText(ToQt(path));
        m_strLastRead = path;
        Accept({path, {MEDIA_ACCEPTED, *converted}});
    }
    return true;
}

void CPageSelectVideo::ReportNotHtml5(const std::string& paths) {
    // Conversion is offered file by file, where it can be done; no web page does it.
    MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_NOT_HTML5_MEDIA, paths);
}

void CPageSelectVideo::OnHistoryActivated(int index) {
    if (index < 0 || index >= m_pMediaPathBox->count()) {
        return;
    }
    LoadMedia(FromQt(m_pMediaPathBox->itemText(index)));
}

void CPageSelectVideo::OnBrowse() {
    CFileDialogEx dialog(LoadStringRes(IDS_SELECT_MEDIA_DIALOG), MediaDialogFilter(), true,
                         window());
    const std::string named = TrimWhiteSpace(FromQt(m_pMediaPathBox->currentText()));
    if (!named.empty() && IsFolder(GetPathFolder(named))) {
        dialog.Dialog().setDirectory(ToQt(GetPathFolder(named)));
        if (IsRegularFile(named)) {
            dialog.Dialog().selectFile(ToQt(named));
        }
    }
    if (!m_fileDialogRunner(dialog)) {
        return;
    }
    const std::string path = dialog.GetPathName();
    if (path.empty() || !LoadMedia(path)) {
        return;
    }
    AddToRecentList(m_arrHistory, path);
    FillHistory();
    m_pMediaPathBox->setCurrentIndex(FindEntry(path));
}

void CPageSelectVideo::OpenStartFile(const std::string& path) {
    m_pMediaPathBox->setEditText(ToQt(path));
    LoadMedia(path);
}

void CPageSelectVideo::DropFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> extensions;
    GetHtml5ExtensionList(extensions);
    extensions.insert(extensions.end(), kConvertibleExtensions.begin(),
                      kConvertibleExtensions.end());
    std::vector<std::string> candidates;
    for (const std::string& path : paths) {
        if (HasDropListExtension(path, extensions)) {
            candidates.push_back(path);
        }
    }
    const std::vector<CMediaReader::Result> read = CMediaReader::Read(candidates);
    // One file that can be made web-ready gets the offer rather than the refusal.
    if (paths.size() == 1 && read.size() == 1 && read[0].check.verdict == MEDIA_NOT_HTML5) {
        m_pMediaPathBox->setEditText(ToQt(paths[0]));
        Accept(read[0]);
        return;
    }

    std::string refused;
    const CMediaReader::Result* first = nullptr;
    size_t next = 0;
    for (const std::string& path : paths) {
        const CMediaReader::Result* result =
            HasDropListExtension(path, extensions) ? &read[next++] : nullptr;
        if (!result || result->check.verdict != MEDIA_ACCEPTED) {
            refused += path + "\r\n";
            continue;
        }
        if (!first) {
            first = result;
        }
        if (FindEntry(path) < 0) {
            m_arrHistory.push_back(path);
            m_pMediaPathBox->addItem(ToQt(path));
        }
    }
    if (!refused.empty()) {
        ReportNotHtml5(refused);
    }
    if (first) {
        m_pMediaPathBox->setCurrentIndex(FindEntry(first->path));
        m_strLastRead = first->path;
        Accept(*first);
    }
}

bool CPageSelectVideo::ReadTypedPath() {
    const std::string path = TrimWhiteSpace(FromQt(m_pMediaPathBox->currentText()));
    if (path.empty() || path == m_strLastRead || CMediaReader::IsBusy()) {
        return true;
    }
    return LoadMedia(path);
}

bool CPageSelectVideo::OnCompletionKey(int key) {
    if (key != Qt::Key_Return && key != Qt::Key_Enter) {
        return false;
    }
    QCompleter* completer = m_pMediaPathBox->completer();
    const QModelIndex current = m_pCompletionList->currentIndex();
    m_pCompletionList->hide();
    if (!current.isValid()) {
        // Nothing chosen in the list: Enter in the box, which is Next.
        wizard()->next();
        return true;
    }
    completer->setCurrentRow(current.row());
    const QString chosen = completer->currentCompletion();
    m_pMediaPathBox->setEditText(chosen);
    // A folder is a step on the way to a file.
    if (IsRegularFile(FromQt(chosen))) {
        ReadTypedPath();
    }
    return true;
}

bool CPageSelectVideo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pCompletionList && event->type() == QEvent::KeyPress && wizard()) {
        return OnCompletionKey(static_cast<QKeyEvent*>(event)->key());
    }
    // The box holds the focus for its line edit.
    if (watched == m_pMediaPathBox && event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        // Left with the keyboard, the typed file is read once the focus has moved. A click
        // elsewhere does its own reading (Next, Preview), and its release must not be dropped
        // while the file is read.
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            QMetaObject::invokeMethod(
                this, [this] { ReadTypedPath(); }, Qt::QueuedConnection);
        }
    }
    // With a real keyboard the keys reach the box, which hands them to its line edit directly,
    // past any filter there.
    const bool box = watched == m_pMediaPathBox || watched == m_pMediaPathBox->lineEdit();
    if (box && event->type() == QEvent::KeyPress && wizard()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // Return is the wizard's Next, which loads the typed path; the box must not load it
        // first as the entry it matches.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            wizard()->next();
            return true;
        }
    }
    return QWizardPage::eventFilter(watched, event);
}

void CPageSelectVideo::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFiles(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void CPageSelectVideo::dragMoveEvent(QDragMoveEvent* event) {
    if (!LocalFiles(event->mimeData()).empty()) {
        event->acceptProposedAction();
    }
}

void CPageSelectVideo::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths = LocalFiles(event->mimeData());
    if (paths.empty()) {
        return;
    }
    event->acceptProposedAction();
    // The messages and the reading wait until the drop is over, so the program the files came
    // from is not kept waiting.
    QMetaObject::invokeMethod(
        this, [this, paths = std::move(paths)] { DropFiles(paths); }, Qt::QueuedConnection);
}

void CPageSelectVideo::OnPreview() {
    // A typed path not yet read is the file to preview; one refused before leaves the file
    // that was accepted.
    if (!ReadTypedPath()) {
        return;
    }
    const std::string path = State().m_job.Details().m_strPath;
    int error = ENOENT;
    if (PathExists(path)) {
        errno = 0;
        if (GetShell().OpenDefault(path)) {
            return;
        }
        // A program that could not be started leaves no error of its own.
        error = errno != 0 ? errno : ENOENT;
    }
    MessageBoxRes(MB_OK | MB_ICONWARNING, IDS_OPEN_FAILED, path, GetErrorText(error));
}

void CPageSelectVideo::OnPublishOptions() {
    // The options sheet opens on its publish page.
    GetSettingsStore().WriteInt(settings::kOptions, settings::kHtml5Page, 3);
    CHTML5Sheet sheet(window());
    sheet.exec();
}

bool CPageSelectVideo::validatePage() {
    const std::string path = TrimWhiteSpace(FromQt(m_pMediaPathBox->currentText()));
    if (path.empty()) {
        MessageBoxRes(MB_OK, IDS_SELECT_MEDIA_FIRST);
        m_pMediaPathBox->setFocus();
        return false;
    }
    // Loading the file makes it the job's media, which the other sources are checked against.
    if (!LoadMedia(path)) {
        return false;
    }
    const CStatus sources = State().m_job.SetOtherSources(m_otherSources);
    if (!sources) {
        ShowMessage(sources.why);
    }
    return bool(sources);
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <QWizardPage>

#include "ui/CMediaReader.h"
#include "ui/CWizardState.h"

class QAbstractItemView;
class QComboBox;
class QLabel;
class QLayout;
class QPushButton;
class QToolButton;
class CElidedLabel;
class CFileDialogEx;

// The first page: the media file to publish, typed, taken from the history, browsed for or
// dropped, with its details. Next hands it on through the wizard's state.
class CPageSelectVideo : public QWizardPage {
    Q_OBJECT
public:
    // The file dialog's single formats, after "All supported media"; "All Format" lets any
    // file through to the format check.
    static constexpr const char* kMediaFilter =
        "MP4 Video(*.mp4)|*.mp4|WebM Video(*.webm)|*.webm|Ogg Video(*.ogg)|*.ogg|"
        "MP3 Audio(*.mp3)|*.mp3|M4A Audio(*.m4a)|*.m4a|Oga Audio(*.oga)|*.oga|"
        "WAV Audio(*.wav)|*.wav|All Format(*.*)|*.*||";
    // Runs the browse dialog; true when a file was chosen. Tests answer it without a dialog.
    using FileDialogRunner = std::function<bool(CFileDialogEx& dialog)>;

    explicit CPageSelectVideo(CWizardState& state, QWidget* parent = nullptr);
    // Writes the history anew.
    ~CPageSelectVideo() override;

    // Accepts `path` when it exists and holds HTML5 media: its details are shown and become the
    // wizard's. Otherwise the user is told why, and the focus goes to the path box.
    bool LoadMedia(const std::string& path);
    // The file the program was started with: put into the box and read, as if chosen there.
    void OpenStartFile(const std::string& path);
    // What a drop of these paths does, once the drop itself is over.
    void DropFiles(const std::vector<std::string>& paths);

    void SetFileDialogRunner(FileDialogRunner runner);

    // Asks for any video or audio file and makes it web-ready as the job's media.
    void OnConvertCommand();

    // Adds files of the same media in other formats, chosen in a file dialog; checked at Next.
    void OnAddSources();

    // Next.
    bool validatePage() override;

protected:
    CWizardState& State() { return m_state; }

    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The parts of the page, made in the order the focus passes through them.
    QLayout* MakePathRow();
    QLayout* MakeDetailGroups();
    void MakeNoteRow();
    QPushButton* MakeSourcesButton();
    bool Accept(const CMediaReader::Result& result);
    // The job's media is `path` now, with these details; true.
    bool InUse(const std::string& path, const MediaDetails& details);
    // After a refusal: the box names the file in use again, if there is one.
    void ShowFileInUse();
    // Makes a web-ready copy where the user saves it; true when it was made.
    bool ConvertAndSave(const MediaDetails& source);
    void ShowDetails(const MediaDetails& details);
    // Message 34 for the paths, each ending in CR LF; Yes opens the converter's page.
    void ReportNotHtml5(const std::string& paths);
    // Asks whether to make `check`'s file web-ready (`question` is 470 or 480) and does so; true
    // when the web-ready copy became the job's media.
    bool OfferConversion(const MediaCheck& check, int question);
    bool ConvertToMedia(const MediaDetails& source);
    void ShowPlaybackNote(const MediaDetails& details);
    void FillHistory();
    int FindEntry(const std::string& path) const;
    void OnHistoryActivated(int index);
    // Reads the typed path unless it is the one read last; false when it was refused just now.
    bool ReadTypedPath();
    // Enter in the completion list.
    bool OnCompletionKey(int key);
    void OnBrowse();
    void OnPreview();
    void OnPublishOptions();

    CWizardState& m_state;
    std::vector<std::string> m_arrHistory;
    // The path last read, accepted or not: leaving the box or Preview reads a path once.
    std::string m_strLastRead;
    // What the box shows for the job's media: a refused path gives way to it again.
    std::string m_strInUse;
    FileDialogRunner m_fileDialogRunner;

    QComboBox* m_pMediaPathBox;
    QToolButton* m_pBrowseButton;
    QAbstractItemView* m_pCompletionList = nullptr;
    std::array<CElidedLabel*, 10> m_arrDetails{};
    CElidedLabel* m_pFastStartText;
    QPushButton* m_pOptionsButton;
    QPushButton* m_pPreviewButton;
    // A note for media that plays only in some browsers, with the offer to convert it.
    QWidget* m_pNoteRow = nullptr;
    QLabel* m_pNote = nullptr;
    // The file last made web-ready and its copy: choosing that file again takes the copy.
    std::string m_strConvertedFrom;
    std::string m_strConvertedTo;
    // The other sources chosen, as the command line's --source gives them.
    std::vector<std::string> m_otherSources;
};

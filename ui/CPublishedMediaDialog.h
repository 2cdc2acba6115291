// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QDialog>

#include "publish/CSiteMedia.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The players published across the site, from the select-media page: one row each, to open its
// page in the browser, put other media in its place, or take it out.
class CPublishedMediaDialog : public QDialog {
    Q_OBJECT
public:
    explicit CPublishedMediaDialog(SiteDescription site, QWidget* parent = nullptr);
    ~CPublishedMediaDialog() override;

    // Reads the site anew into the table.
    void Refresh();
    // Takes the selected row's media out of every page that shows it.
    void RemoveSelected();
    // Publishes `media` in place of the selected row's media, in every page that shows it; each
    // page keeps its poster when `keepPoster` asks so.
    void ReplaceSelected(const std::string& media, bool keepPoster = false);

private:
    const SitePlayer* Selected() const;
    void Say(const std::string& text);

    SiteDescription m_site;
    std::unique_ptr<CSiteMedia> m_pMedia;
    SiteListing m_listing;
    QTableWidget* m_pTable;
    QCheckBox* m_pDeleteFiles;
    QLabel* m_pStatus;
    QPushButton* m_pOpenButton;
    QPushButton* m_pReplaceButton;
    QPushButton* m_pRemoveButton;
};

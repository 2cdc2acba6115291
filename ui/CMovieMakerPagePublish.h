// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include <QWidget>

#include "ui/CFolderChoosers.h"

class QComboBox;
class QLineEdit;
class QToolButton;

// The options sheet's page: the site root (with its history) and the JavaScript and media
// folders below it. The site root ends with "/"; the sub-folders begin and end with "/", and "/"
// alone is the site root itself.
class CMovieMakerPagePublish : public QWidget {
    Q_OBJECT
public:
    explicit CMovieMakerPagePublish(CFolderChoosers choosers, QWidget* parent = nullptr);
    // Saves the site-root history.
    ~CMovieMakerPagePublish() override;

    // OK: the three folders go into the settings object.
    void OnApply();

private:
    void OnSiteRootEdited(const QString& text);
    void OnSiteRootActivated(int index);
    void OnBrowseSiteRoot();
    void OnBrowseSubFolder(QLineEdit* target);
    void SetSiteRoot(const std::string& root);
    void FillHistory();

    CFolderChoosers m_choosers;
    std::string m_strSiteRoot;
    std::string m_strJsPath;
    std::string m_strMediaPath;
    std::vector<std::string> m_arrHistory;

    QComboBox* m_pSiteRootBox;
    QToolButton* m_pBrowseSiteRoot;
    QLineEdit* m_pJsPathEdit;
    QToolButton* m_pBrowseJsPath;
    QLineEdit* m_pMediaPathEdit;
    QToolButton* m_pBrowseMediaPath;
};

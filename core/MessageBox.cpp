// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/MessageBox.h"

#include <atomic>
#include <cstdio>

namespace {

class CStderrMessageBox : public IMessageBox {
public:
    int Show(unsigned type, const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        switch (type & MB_BUTTONMASK) {
            case MB_OKCANCEL:
                return IDOK;
            case MB_ABORTRETRYIGNORE:
                return IDABORT;
            case MB_YESNOCANCEL:
            case MB_YESNO:
                return IDYES;
            case MB_RETRYCANCEL:
                return IDRETRY;
            default:
                return IDOK;
        }
    }
};

std::atomic<IMessageBox*> g_box{nullptr};

}  // namespace

IMessageBox& GetMessageBox() {
    static CStderrMessageBox fallback;
    IMessageBox* box = g_box.load();
    return box ? *box : fallback;
}

void SetMessageBox(IMessageBox* box) {
    g_box.store(box);
}

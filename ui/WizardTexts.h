// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The caption every wizard page carries; the sheet shows the current page's caption.
inline constexpr const char* kWizardPageCaption = "Ombrel DEDE5 Varodo - Publish HTML5 to web page";

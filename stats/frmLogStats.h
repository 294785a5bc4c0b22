// "Logged Statistics": the totals kept in the statistics file, and a way to
// delete that file.
#pragma once

#include "forms/form.h"

namespace vx {

class frmLogStats : public Form {
public:
    frmLogStats();

    platform::TextBox& txtFileName;
    platform::Label& lblLoggingSince;
    platform::Label& lblIncoming;
    platform::Label& lblOutgoing;
    platform::CommandButton& cmdDeleteFile;

    void cmdDeleteFile_Click();

protected:
    void Form_Load() override;

private:
    struct Built;
    explicit frmLogStats(Built&& built);
};

// Megabytes with two decimals in the user's regional format, then "MB".
// Empty or non-numeric text shows 0.00MB.
std::string MegabytesText(const std::string& storedBytes);

}  // namespace vx

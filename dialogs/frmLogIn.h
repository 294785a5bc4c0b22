// "Router Details": the start-up dialog. It decides how the run begins, restores
// the settings, sets up or loads the totals and hands the details to the monitor.
#pragma once

#include "forms/form.h"
#include "traffic/Traffic.h"

namespace vx {

class frmLogIn : public Form {
public:
    frmLogIn();

    platform::TextBox& txtIP;
    platform::TextBox& txtUser;
    platform::TextBox& txtPassword;
    platform::CommandButton& cmdGo;
    platform::ComboBox& selSpeed;
    platform::CheckBox& chk9106;

    void cmdGo_Click();
    void Form_KeyUp(int keyCode, int shift);
    void txtIP_Change();

protected:
    void Form_Load() override;

private:
    struct Built;
    explicit frmLogIn(Built&& built);

    ByteCounts storedTotals_;
    std::string interfaceName_;
    std::string monthStart_;  // the billing month and quota, which have no boxes either
    std::string quota_;
};

}  // namespace vx

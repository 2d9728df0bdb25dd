// The offer window: the update's news page, "&Install >>" (the download window)
// and "&Cancel" (with a question).
#pragma once

#include <memory>

#include "app/Form.h"

namespace nl {

class LineX;

class MainFrm : public Form {
public:
    // The one offer window, created on first use.
    static MainFrm& Instance();

    ~MainFrm();

private:
    MainFrm();
    // Loading navigates to the news page.
    void Create() override;
    void Command(int id) override;
    void CloseRequested() override;
    void Unloaded() override;

    void Form_Load();
    void CButton_Click(int index);

    std::unique_ptr<LineX> LX;
};

}  // namespace nl

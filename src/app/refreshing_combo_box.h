#pragma once

#include <QComboBox>
#include <functional>

namespace panelgrab {

// A drop-down list that is filled afresh each time it opens (the port list: a phone plugged in
// later shows up without a restart). Editable, so a name the list does not offer (a network port's
// URL) can be typed; typed text never becomes an item. Enter in the text is the list's own signal,
// not the dialog's default button.
class RefreshingComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit RefreshingComboBox(QWidget* parent);

    // Runs right before the list opens; it may refill the items.
    void SetRefresher(std::function<void()> refresher) { refresher_ = std::move(refresher); }

    void showPopup() override;

signals:
    void enterPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void()> refresher_;
};

} // namespace panelgrab

#pragma once
// One page of the Options sheet: a thin view over one settings group. The page fills its
// controls from the group's in-memory record the first time it is shown; Apply writes the group
// from the controls in the group's order and reloads the record. Thread: the user-interface
// thread.

#include <QIcon>
#include <QString>
#include <QWidget>

class QBoxLayout;
class QLineEdit;

namespace tonalda::ui {

class SettingsPage : public QWidget {
    Q_OBJECT

  public:
    // iconResource names the page's picture, which is also its tab's icon.
    SettingsPage(QString caption, const QString& iconResource, QWidget* parent = nullptr);

    const QString& caption() const { return caption_; }
    const QIcon& icon() const { return icon_; }

    // Fills the controls from the record the first time only.
    void ensureInitialised();
    bool isInitialised() const { return initialised_; }

    // The first digits-only field whose text is not an integer; nullptr when all are.
    virtual QLineEdit* firstInvalidField() const { return nullptr; }
    // Writes the group and reloads its record; for an initialised page. The sheet checks the
    // fields first (a field that is not an integer would keep the record's value).
    virtual void apply() = 0;

  protected:
    virtual void initialise() = 0;
    // Where the page puts its controls, right of its picture.
    QBoxLayout* content() const { return content_; }

  private:
    QString caption_;
    QIcon icon_;
    QBoxLayout* content_;
    bool initialised_ = false;
};

}  // namespace tonalda::ui

#include "ui/settings/freedb_page.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "cdinfo/cddb_jobs.h"
#include "cdinfo/freedb_settings.h"
#include "ui/settings/settings_widgets.h"

namespace tonalda::ui {

FreeDbPage::FreeDbPage(Registry& registry, QWidget* parent)
    : SettingsPage(QStringLiteral("FreeDB"), QStringLiteral(":/skin/tab_freedb.svg"), parent),
      registry_(registry) {
    auto* columns = new QHBoxLayout;
    columns->addWidget(serverGroup(), 1);
    columns->addWidget(proxyGroup(), 1);
    content()->addLayout(columns);
    content()->addStretch(1);
}

QWidget* FreeDbPage::serverGroup() {
    auto* group = new QGroupBox(QStringLiteral("Free DB Server"));
    server_ = dropDownList(cddb::kCddbServers);
    port_ = numberField();
    queryScript_ = new QLineEdit;
    submitScript_ = new QLineEdit;
    email_ = new QLineEdit;

    auto* form = new QFormLayout(group);
    form->addRow(fieldLabel(QStringLiteral("FreeDB Server"), server_), server_);
    form->addRow(fieldLabel(QStringLiteral("Port"), port_), port_);
    form->addRow(fieldLabel(QStringLiteral("Query Script"), queryScript_), queryScript_);
    form->addRow(fieldLabel(QStringLiteral("Submit Script"), submitScript_), submitScript_);
    form->addRow(fieldLabel(QStringLiteral("Email"), email_), email_);
    return group;
}

QWidget* FreeDbPage::proxyGroup() {
    auto* group = new QGroupBox(QStringLiteral("Proxy"));
    useProxy_ = new QCheckBox(QStringLiteral("Use Proxy"));
    proxyServer_ = new QLineEdit;
    proxyPort_ = numberField();
    authentication_ = new QCheckBox(QStringLiteral("Authentication "));
    userName_ = new QLineEdit;
    password_ = new QLineEdit;
    password_->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout(group);
    form->addRow(useProxy_);
    form->addRow(fieldLabel(QStringLiteral("Proxy Server"), proxyServer_), proxyServer_);
    form->addRow(fieldLabel(QStringLiteral("PORT"), proxyPort_), proxyPort_);
    form->addRow(authentication_);
    form->addRow(fieldLabel(QStringLiteral("User Name"), userName_), userName_);
    form->addRow(fieldLabel(QStringLiteral("Password "), password_), password_);

    connect(useProxy_, &QCheckBox::toggled, this, &FreeDbPage::updateEnabling);
    connect(authentication_, &QCheckBox::toggled, this, &FreeDbPage::updateEnabling);
    return group;
}

void FreeDbPage::initialise() {
    const FreeDbSettings settings = freeDbSettings();
    selectPosition(server_, settings.Server);
    showNumber(port_, settings.Port);
    queryScript_->setText(QString::fromStdString(settings.QueryScript));
    submitScript_->setText(QString::fromStdString(settings.SubmitScript));
    email_->setText(QString::fromStdString(settings.email));
    showCheck(useProxy_, settings.proxy);
    proxyServer_->setText(QString::fromStdString(settings.proxyserver));
    showNumber(proxyPort_, settings.pport);
    showCheck(authentication_, settings.auth);
    userName_->setText(QString::fromStdString(settings.username));
    password_->setText(QString::fromStdString(settings.pass));
    updateEnabling();
}

// Greyed fields keep their values, and Apply still stores them.
void FreeDbPage::updateEnabling() {
    proxyServer_->setEnabled(useProxy_->isChecked());
    proxyPort_->setEnabled(useProxy_->isChecked());
    userName_->setEnabled(authentication_->isChecked());
    password_->setEnabled(authentication_->isChecked());
}

QLineEdit* FreeDbPage::firstInvalidField() const {
    for (QLineEdit* field : {port_, proxyPort_})
        if (!numberIn(field))
            return field;
    return nullptr;
}

void FreeDbPage::apply() {
    FreeDbSettings settings = freeDbSettings();
    settings.Server = listPosition(server_);
    settings.Port = numberIn(port_).value_or(settings.Port);
    settings.QueryScript = queryScript_->text().toStdString();
    settings.SubmitScript = submitScript_->text().toStdString();
    settings.email = email_->text().toStdString();
    settings.proxy = checkValue(useProxy_);
    settings.proxyserver = proxyServer_->text().toStdString();
    settings.pport = numberIn(proxyPort_).value_or(settings.pport);
    settings.auth = checkValue(authentication_);
    settings.username = userName_->text().toStdString();
    settings.pass = password_->text().toStdString();
    saveAndReloadFreeDbSettings(settings, registry_);
}

}  // namespace tonalda::ui

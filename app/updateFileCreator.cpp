#include "updateFileCreator.h"

#include "appLog.h"

#include "appSettings.h"
#include "iffBootloader.h"
#include "iffBuilder.h"
#include "iffFileBuilders.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDebug>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QStackedWidget>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

using namespace qxIff_n;

namespace {

enum class fieldKind_t
{
    file,
    text,
    templateFormat
};

struct pageField_t
{
    const char* key;
    const char* label;
    fieldKind_t kind;
};

struct contentPage_t
{
    quint16 id;
    QString name; // in the content list
    QList<pageField_t> fields;
};

// The content list in its order. After the types every operator knows come
// the firmware types of the builders, which otherwise only qxtool builds:
// they get pages too, so that one tool covers every file the devices take.
const QList<contentPage_t>& contentPages()
{
    static const QList<contentPage_t> pages{
        {fileTypeUnspecified,
         QStringLiteral("File"),
         {{"localFile", "Local File", fieldKind_t::file},
          {"deviceFilename", "Device Filename", fieldKind_t::text}}},
        {fileTypeSetup, QStringLiteral("Setup"), {{"setupFile", "Setup File", fieldKind_t::file}}},
        {fileTypeSetupList,
         QStringLiteral("Setup Liste"),
         {{"listFile", "Listendatei", fieldKind_t::file}, {"listName", "Listenname", fieldKind_t::text}}},
        {fileTypeAccessList,
         QStringLiteral("ZK2 Liste"),
         {{"listFile", "Listendatei", fieldKind_t::file}, {"listName", "Listenname", fieldKind_t::text}}},
        {fileTypeLanguage,
         QStringLiteral("Language File"),
         {{"languageFile", "Sprachdatei", fieldKind_t::file}}},
        {fileTypeFingerprintTemplate,
         QStringLiteral("Fingerprint Template Data"),
         {{"fingerprintFile", "Fingerprint-File", fieldKind_t::file},
          {"templateFormat", "Template Format", fieldKind_t::templateFormat},
          {"personalId", "Personal-ID", fieldKind_t::text},
          {"groupId", "Group-ID", fieldKind_t::text},
          {"fingerId", "Finger-ID", fieldKind_t::text}}},
        {fileTypeTwn4, QStringLiteral("TWN4 Firmware"), {{"firmwareFile", "Firmware", fieldKind_t::file}}},
        {fileTypeBootloader,
         QStringLiteral("Bootloader"),
         {{"bootloaderVersion", "Bootloader-Version", fieldKind_t::text},
          {"hclFile", "Hardware-Kompatibilitäts-Liste", fieldKind_t::file},
          {"fw1", "FW (1)", fieldKind_t::file},
          {"fw2", "FW (2)", fieldKind_t::file}}},
        {fileTypePicture, QStringLiteral("Image/Barcode"), {{"imageFile", "Bild", fieldKind_t::file}}},
        {fileTypeFirmware, fileTypeName(fileTypeFirmware), {{"firmwareFile", "Firmware", fieldKind_t::file}}},
        {fileTypeRs9110,
         fileTypeName(fileTypeRs9110),
         {{"tadm", "TADM", fieldKind_t::file},
          {"taim1", "TAIM1", fieldKind_t::file},
          {"taim2", "TAIM2", fieldKind_t::file}}},
        {fileTypeZezere3000,
         fileTypeName(fileTypeZezere3000),
         {{"firmwareFile", "Firmware", fieldKind_t::file}}},
        {fileTypeZezere4000,
         fileTypeName(fileTypeZezere4000),
         {{"firmwareFile", "Firmware", fieldKind_t::file}}},
        {fileTypeZezere4020,
         fileTypeName(fileTypeZezere4020),
         {{"firmwareFile", "Firmware", fieldKind_t::file}}},
        {fileTypeSaturn01, fileTypeName(fileTypeSaturn01), {{"firmwareFile", "Firmware", fieldKind_t::file}}},
        {fileTypeModule0xC717,
         fileTypeName(fileTypeModule0xC717),
         {{"firmwareFile", "Firmware", fieldKind_t::file}}},
    };
    return pages;
}

// A number field of the fingerprint page; adds a message when it is not one.
quint32 numberField(const updateFileCreator_c::contentRequest_t& p_request, const QString& p_strKey,
                    const QString& p_strLabel, quint32 p_nMax, QString& p_strMessages)
{
    bool ok = false;
    const QString text = p_request.fields.value(p_strKey).trimmed();
    const qulonglong value = text.toULongLong(&ok, 0);
    if (!ok || value > p_nMax) {
        p_strMessages +=
            QStringLiteral("* %1 \"%2\" is not a number from 0 to %3\n").arg(p_strLabel, text).arg(p_nMax);
        return 0;
    }
    return quint32(value);
}

} // namespace

updateFileCreator_c::contentResult_t updateFileCreator_c::buildContent(const contentRequest_t& p_request)
{
    const auto f = [&p_request](const char* p_pKey) { return p_request.fields.value(QLatin1String(p_pKey)); };
    contentResult_t result;
    switch (p_request.id) {
    case fileTypeUnspecified:
        result.forms = buildFileUpload(f("localFile"), f("deviceFilename"));
        result.summary =
            QStringLiteral("File upload \"%1\" -> \"%2\"").arg(f("localFile"), f("deviceFilename"));
        break;
    case fileTypeSetup:
        result.forms = buildSetup(f("setupFile"));
        result.summary = QStringLiteral("Setup \"%1\"").arg(f("setupFile"));
        break;
    case fileTypeSetupList:
        result.forms = buildSetupList(f("listFile"), f("listName"));
        result.summary = QStringLiteral("Setup List Data \"%1\" <- \"%2\"").arg(f("listName"), f("listFile"));
        break;
    case fileTypeAccessList:
        result.forms = buildAccessList(f("listFile"), f("listName"));
        result.summary = QStringLiteral("AC2 List Data \"%1\" <- \"%2\"").arg(f("listName"), f("listFile"));
        break;
    case fileTypePicture:
        result.forms = buildPicture(f("imageFile"));
        result.summary = QStringLiteral("Setup \"%1\"").arg(f("imageFile"));
        break;
    case fileTypeLanguage: {
        QString error;
        result.forms = buildLanguageFile(f("languageFile"), &error);
        if (result.forms.isEmpty() && !error.isEmpty())
            qCDebug(lcApp) << "updateFileCreator_c: language file" << f("languageFile") << error;
        result.summary = QStringLiteral("Language Data \"%1\"").arg(f("languageFile"));
        break;
    }
    case fileTypeFingerprintTemplate: {
        const quint32 format = numberField(p_request, QStringLiteral("templateFormat"),
                                           QStringLiteral("Template Format"), 3, result.messages);
        const quint32 personal = numberField(p_request, QStringLiteral("personalId"),
                                             QStringLiteral("Personal-ID"), 0xFFFFFFFF, result.messages);
        const quint32 group = numberField(p_request, QStringLiteral("groupId"), QStringLiteral("Group-ID"),
                                          0xFF, result.messages);
        const quint32 finger = numberField(p_request, QStringLiteral("fingerId"), QStringLiteral("Finger-ID"),
                                           0xFF, result.messages);
        if (result.messages.isEmpty())
            result.forms = buildFingerprintTemplate(f("fingerprintFile"), quint8(format), personal,
                                                    quint8(group), quint8(finger));
        result.summary = QStringLiteral("Fingerprint Template Data");
        break;
    }
    case fileTypeTwn4:
        result.forms = buildTwn4Firmware(f("firmwareFile"));
        result.summary = QStringLiteral("TWN4 Firmware Update");
        break;
    case fileTypeBootloader: {
        QStringList images;
        for (const char* key : {"fw1", "fw2"}) {
            if (!f(key).isEmpty())
                images << f(key);
        }
        result.forms = buildBootloader(f("bootloaderVersion"), f("hclFile"), images, {}, result.messages);
        qCDebug(lcApp) << "CREATE BOOTLOADER MESSAGES";
        if (!result.messages.isEmpty())
            qCDebug(lcApp).noquote() << result.messages;
        result.summary = QStringLiteral("Bootloader");
        break;
    }
    case fileTypeFirmware:
        result.forms = buildFirmware(f("firmwareFile"));
        result.summary = QStringLiteral("%1 \"%2\"").arg(fileTypeName(p_request.id), f("firmwareFile"));
        break;
    case fileTypeRs9110:
        result.forms = buildRs9110Firmware(f("tadm"), f("taim1"), f("taim2"));
        result.summary = fileTypeName(p_request.id);
        break;
    case fileTypeZezere3000:
    case fileTypeZezere4000:
    case fileTypeZezere4020:
    case fileTypeSaturn01:
    case fileTypeModule0xC717:
        result.forms = buildModuleFirmware(p_request.id, f("firmwareFile"));
        result.summary = QStringLiteral("%1 \"%2\"").arg(fileTypeName(p_request.id), f("firmwareFile"));
        break;
    default:
        qCDebug(lcApp) << "updateFileCreator_c::slotBuildFile(): Unhandled ID" << p_request.id;
        result.summary = QStringLiteral("Not implemented");
        break;
    }
    // The forms of a page with problems are never packed.
    if (!result.messages.isEmpty())
        result.forms.clear();
    return result;
}

updateFileCreator_c::updateFileCreator_c(appSettings_c& p_settings, QWidget* p_pParent)
    : QSplitter(Qt::Horizontal, p_pParent), m_settings(p_settings)
{
    setWindowTitle(QStringLiteral("Create IFF File"));
    m_pContent = new QComboBox;
    m_pContent->setObjectName(QStringLiteral("content"));
    m_pPages = new QStackedWidget;
    m_pPages->addWidget(new QWidget); // the empty page of an unknown ID
    createPages();

    auto* addChunk = new QPushButton(QStringLiteral("Add Chunk ->"));
    addChunk->setObjectName(QStringLiteral("addChunk"));
    connect(addChunk, &QPushButton::clicked, this, &updateFileCreator_c::slotAddChunk);
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    auto* contentRow = new QFormLayout;
    contentRow->addRow(QStringLiteral("Content"), m_pContent);
    leftLayout->addLayout(contentRow);
    leftLayout->addWidget(m_pPages, 1);
    leftLayout->addWidget(addChunk, 0, Qt::AlignRight);

    m_pPending = new QTreeWidget;
    m_pPending->setObjectName(QStringLiteral("pending"));
    m_pPending->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Size"), QStringLiteral("Info")});
    m_pPending->setRootIsDecorated(false);
    m_pAddToDownloads = new QCheckBox(QStringLiteral("Add to Downloads?"));
    m_pAddToDownloads->setObjectName(QStringLiteral("addToDownloads"));
    auto* clear = new QPushButton(QStringLiteral("Clear"));
    clear->setObjectName(QStringLiteral("clear"));
    connect(clear, &QPushButton::clicked, this, &updateFileCreator_c::slotClear);
    auto* build = new QPushButton(QStringLiteral("Build File"));
    build->setObjectName(QStringLiteral("buildFile"));
    connect(build, &QPushButton::clicked, this, &updateFileCreator_c::slotBuildIffFile);
    m_pBusyBar = new QProgressBar;
    m_pBusyBar->setRange(0, 0); // no measure of a builder's progress: a busy bar
    m_pBusyBar->setTextVisible(false);
    m_pBusyBar->hide();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_pAddToDownloads);
    buttons->addWidget(m_pBusyBar, 1);
    buttons->addStretch();
    buttons->addWidget(clear);
    buttons->addWidget(build);
    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->addWidget(m_pPending, 1);
    rightLayout->addLayout(buttons);
    m_actionButtons = {addChunk, clear, build};

    addWidget(left);
    addWidget(right);
    setStretchFactor(1, 1);

    connect(m_pContent, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &updateFileCreator_c::slotUpdateContent);
    slotUpdateContent();

    m_fnAskOpen = [this](const QString& p_strCaption, const QString& p_strDir, const QString& p_strFilter) {
        return QFileDialog::getOpenFileName(this, p_strCaption, p_strDir, p_strFilter);
    };
    m_fnAskSave = [this](const QString& p_strCaption, const QString& p_strDir) {
        return QFileDialog::getSaveFileName(this, p_strCaption, p_strDir);
    };
    m_fnMessage = [this](QMessageBox::Icon p_eIcon, const QString& p_strTitle, const QString& p_strText) {
        QMessageBox box(p_eIcon, p_strTitle, p_strText, QMessageBox::Ok, this);
        box.exec();
    };
}

updateFileCreator_c::~updateFileCreator_c()
{
    // The worker is a child and goes with the dialog, but only once it ran
    // to its end.
    for (QThread* worker : findChildren<QThread*>())
        worker->wait();
}

void updateFileCreator_c::createPages()
{
    for (const contentPage_t& content : contentPages()) {
        m_pContent->addItem(content.name, int(content.id));
        auto* pageWidget = new QWidget;
        auto* form = new QFormLayout(pageWidget);
        for (const pageField_t& field : content.fields) {
            const QString key = QLatin1String(field.key);
            const QString label = QString::fromUtf8(field.label);
            if (field.kind == fieldKind_t::templateFormat) {
                auto* combo = new QComboBox;
                combo->setObjectName(key);
                const QStringList formats = fingerprintTemplateFormats();
                for (int i = 0; i < formats.size(); ++i)
                    combo->addItem(formats.at(i), i);
                form->addRow(label, combo);
                continue;
            }
            auto* edit = new QLineEdit;
            edit->setObjectName(key);
            if (field.kind == fieldKind_t::text) {
                form->addRow(label, edit);
                continue;
            }
            auto* select = new QToolButton;
            select->setText(QStringLiteral("..."));
            connect(select, &QToolButton::clicked, this, [this, edit]() {
                const QString name = m_fnAskOpen(QStringLiteral("Select file"), edit->text(), QString());
                if (!name.isEmpty())
                    edit->setText(name);
            });
            auto* row = new QHBoxLayout;
            row->addWidget(edit, 1);
            row->addWidget(select);
            form->addRow(label, row);
        }
        if (content.id == fileTypeBootloader) {
            auto* fromDescription =
                new QPushButton(QStringLiteral("Create bootloader from description file"));
            fromDescription->setObjectName(QStringLiteral("fromDescription"));
            connect(fromDescription, &QPushButton::clicked, this,
                    &updateFileCreator_c::slotBootloaderDescriptionFile);
            form->addRow(fromDescription);
        }
        m_pPages->addWidget(pageWidget);
        m_pageOf.insert(content.id, pageWidget);
    }
}

QWidget* updateFileCreator_c::page(quint16 p_nId) const
{
    return m_pageOf.value(p_nId);
}

QList<quint16> updateFileCreator_c::contentIds() const
{
    QList<quint16> ids;
    for (int i = 0; i < m_pContent->count(); ++i)
        ids << quint16(m_pContent->itemData(i).toInt());
    return ids;
}

void updateFileCreator_c::selectContent(quint16 p_nId)
{
    m_pContent->setCurrentIndex(m_pContent->findData(int(p_nId)));
}

quint16 updateFileCreator_c::currentContent() const
{
    return quint16(m_pContent->currentData().toInt());
}

bool updateFileCreator_c::setField(quint16 p_nId, const QString& p_strKey, const QString& p_strValue)
{
    QWidget* pageWidget = page(p_nId);
    if (!pageWidget)
        return false;
    if (auto* edit = pageWidget->findChild<QLineEdit*>(p_strKey)) {
        edit->setText(p_strValue);
        return true;
    }
    if (auto* combo = pageWidget->findChild<QComboBox*>(p_strKey)) {
        combo->setCurrentIndex(combo->findData(p_strValue.toInt()));
        return true;
    }
    return false;
}

QString updateFileCreator_c::field(quint16 p_nId, const QString& p_strKey) const
{
    QWidget* pageWidget = page(p_nId);
    if (!pageWidget)
        return QString();
    if (auto* edit = pageWidget->findChild<QLineEdit*>(p_strKey))
        return edit->text();
    if (auto* combo = pageWidget->findChild<QComboBox*>(p_strKey))
        return QString::number(combo->currentData().toInt());
    return QString();
}

updateFileCreator_c::contentRequest_t updateFileCreator_c::currentRequest() const
{
    contentRequest_t request;
    request.id = currentContent();
    QWidget* pageWidget = page(request.id);
    if (!pageWidget)
        return request;
    for (const QLineEdit* edit : pageWidget->findChildren<QLineEdit*>())
        request.fields.insert(edit->objectName(), edit->text());
    for (const QComboBox* combo : pageWidget->findChildren<QComboBox*>())
        request.fields.insert(combo->objectName(), QString::number(combo->currentData().toInt()));
    return request;
}

void updateFileCreator_c::setCreatorTexts(const QString& p_strName, const QString& p_strVersion)
{
    m_strCreatorName = p_strName;
    m_strCreatorVersion = p_strVersion;
}

void updateFileCreator_c::slotUpdateContent()
{
    QWidget* pageWidget = page(currentContent());
    if (!pageWidget)
        qCDebug(lcApp) << "updateFileCreator_c::slotUpdateContent(): Unhandled ID";
    m_pPages->setCurrentWidget(pageWidget ? pageWidget : m_pPages->widget(0));
}

void updateFileCreator_c::runInWorker(const std::function<void()>& p_fnWork,
                                      const std::function<void()>& p_fnDone)
{
    m_bBusy = true;
    for (QPushButton* button : qAsConst(m_actionButtons))
        button->setEnabled(false);
    m_pBusyBar->show();
    QThread* worker = QThread::create(p_fnWork);
    worker->setParent(this);
    connect(worker, &QThread::finished, this, [this, worker, p_fnDone]() {
        worker->deleteLater();
        m_bBusy = false;
        for (QPushButton* button : qAsConst(m_actionButtons))
            button->setEnabled(true);
        m_pBusyBar->hide();
        p_fnDone();
    });
    worker->start();
}

void updateFileCreator_c::slotAddChunk()
{
    if (m_bBusy)
        return;
    const contentRequest_t request = currentRequest();
    auto result = std::make_shared<contentResult_t>();
    runInWorker([request, result]() { *result = buildContent(request); },
                [this, result]() { finishAdd(*result); });
}

void updateFileCreator_c::finishAdd(const contentResult_t& p_result)
{
    if (!p_result.messages.isEmpty()) {
        const QString text = currentContent() == fileTypeBootloader
                                 ? QStringLiteral("Error creating bootloader iff")
                                 : QStringLiteral("The page's fields are not valid");
        m_fnMessage(QMessageBox::Warning, m_pContent->currentText(),
                    text + QStringLiteral("\n\n") + p_result.messages);
    }
    if (p_result.forms.isEmpty()) {
        emit chunkAdded(false);
        return;
    }
    qint64 size = 0;
    for (const iffForm_t& form : p_result.forms)
        size += serializeForm(form).size();
    m_pendingForms += p_result.forms;
    m_pPending->addTopLevelItem(new QTreeWidgetItem(
        QStringList{QStringLiteral("0x%1").arg(
                        QString::number(currentContent(), 16).toUpper().rightJustified(4, QLatin1Char('0'))),
                    QStringLiteral("%1 Byte").arg(size), p_result.summary}));
    m_pPending->header()->resizeSections(QHeaderView::ResizeToContents);
    emit chunkAdded(true);
}

void updateFileCreator_c::slotClear()
{
    if (m_bBusy)
        return;
    m_pendingForms.clear();
    m_pPending->clear();
}

void updateFileCreator_c::slotBuildIffFile()
{
    if (m_bBusy)
        return;
    if (m_pendingForms.isEmpty()) {
        m_fnMessage(
            QMessageBox::Warning, QStringLiteral("Please add Chunks first"),
            QStringLiteral("Building an empty IFF file does not seem reasonable. Please use \"Add Chunk\" "
                           "to add some data first"));
        emit fileBuilt(QString());
        return;
    }
    const QList<iffForm_t> forms = m_pendingForms;
    auto file = std::make_shared<QByteArray>();
    QString name = m_strCreatorName;
    QString version = m_strCreatorVersion;
    runInWorker([forms, file, name, version]() mutable { *file = buildIffFile(forms, name, version); },
                [this, file]() { saveFile(*file); });
}

void updateFileCreator_c::saveFile(const QByteArray& p_arrFile)
{
    QString name = m_fnAskSave(QStringLiteral("Save IFF File"), m_settings.dlDir());
    if (name.isEmpty()) {
        emit fileBuilt(QString());
        return;
    }
    if (!name.endsWith(QLatin1String(".iff"), Qt::CaseInsensitive))
        name += QLatin1String(".iff");
    QSaveFile out(name);
    if (!out.open(QIODevice::WriteOnly) || out.write(p_arrFile) != p_arrFile.size() || !out.commit()) {
        m_fnMessage(QMessageBox::Warning, QStringLiteral("File creation failed"),
                    QStringLiteral("Creating the file\n%1\nfailed.").arg(name));
        emit fileBuilt(QString());
        return;
    }
    if (m_pAddToDownloads->isChecked())
        emit appendToDownloadSection(QStringLiteral("/download-area/") + QFileInfo(name).fileName());
    emit fileBuilt(name);
}

void updateFileCreator_c::slotBootloaderDescriptionFile()
{
    const QString path = m_fnAskOpen(QStringLiteral("Select file"), QString(),
                                     QStringLiteral("Desc-Datei (*.desc);;Alle Dateien (*.*)"));
    if (path.isEmpty())
        return;
    bootloaderDescription_t description;
    if (!readBootloaderDescription(path, description)) {
        m_fnMessage(QMessageBox::Warning, QStringLiteral("Dateifehler"),
                    QStringLiteral("Kann Datei %1 nicht öffnen.").arg(path));
        return;
    }
    setField(fileTypeBootloader, QStringLiteral("bootloaderVersion"), description.version);
    setField(fileTypeBootloader, QStringLiteral("hclFile"), description.hclPath);
    // The page holds two bootloader images, and its build hands both fields
    // on as bootloader images. Update-loader images and bootloader images
    // beyond two have no field: they are reported with the lines not
    // processed rather than silently turned into bootloader images or lost.
    QStringList unprocessed = description.unprocessedLines;
    const QStringList images = description.bootloaderImages;
    setField(fileTypeBootloader, QStringLiteral("fw1"), images.value(0));
    setField(fileTypeBootloader, QStringLiteral("fw2"), images.value(1));
    for (int i = 2; i < images.size(); ++i)
        unprocessed << QStringLiteral("BIN-BL: ") + images.at(i);
    for (const QString& image : description.updateLoaderImages)
        unprocessed << QStringLiteral("BIN-UL: ") + image;
    if (!unprocessed.isEmpty())
        m_fnMessage(QMessageBox::Warning, QStringLiteral("Verarbeitungsfehler"),
                    QStringLiteral("Aus Datei %1 konnten folgende Zeilen nicht verarbeitet werden:\n\n%2")
                        .arg(path, unprocessed.join(QLatin1Char('\n'))));
}

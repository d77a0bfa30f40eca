// An IFF file of any bytes through the element parser, the quick file test,
// the element trees of both summary styles (which open the described forms
// and describe every chunk they know) and the file contents the request log
// offers, which must be the same read from the bytes or from either tree.

#include "fuzzTarget.h"

#include "iffElementTree.h"
#include "iffFileContent.h"
#include "iffParser.h"

#include <QBuffer>

namespace {

struct counter_t
{
    qxIff_n::iffParserHandler_t handler; // first, see iffParserHandler_t
    qint64 payloadBytes = 0;
    int errors = 0;
};

counter_t* counter(qxIff_n::iffParserHandler_t* p_pHandler)
{
    return reinterpret_cast<counter_t*>(p_pHandler);
}

// Every element holds no more bytes than the input; a row's children belong
// to forms only.
qint64 checkTree(const QList<qxIff_n::iffElement_t>& p_elements, int p_nInputSize)
{
    qint64 rows = 0;
    for (const qxIff_n::iffElement_t& element : p_elements) {
        fuzz_n::require(element.payload.size() <= p_nInputSize, "an element larger than the file");
        fuzz_n::require(!element.isError || element.children.isEmpty(), "an error row with children");
        rows += 1 + checkTree(element.children, p_nInputSize);
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* p_pData, size_t p_nSize)
{
    fuzz_n::quiet();
    const QByteArray file(reinterpret_cast<const char*>(p_pData), int(p_nSize));

    counter_t counting;
    counting.handler.fnChunkHandler = [](qxIff_n::iffParserHandler_t* p_pHandler, const QByteArray&,
                                         const QByteArray& p_arrPayload) {
        counter(p_pHandler)->payloadBytes += p_arrPayload.size();
    };
    counting.handler.fnFormHandler = [](qxIff_n::iffParserHandler_t* p_pHandler, const QByteArray&,
                                        const QByteArray& p_arrPayload) {
        counter(p_pHandler)->payloadBytes += p_arrPayload.size();
        // Into the form, as the analyser does.
        qxIff_n::parseIff(qxIff_n::formContents(p_arrPayload), p_pHandler);
    };
    counting.handler.fnErrorHandler = [](qxIff_n::iffParserHandler_t* p_pHandler, int p_nCode,
                                         const QString&) {
        fuzz_n::require(p_nCode >= 1 && p_nCode <= 4, "an error code outside 1 to 4");
        ++counter(p_pHandler)->errors;
    };
    qxIff_n::parseIff(file, &counting.handler);

    QByteArray copy = file;
    QBuffer device(&copy);
    qxIff_n::testFileIsQxWebIff(&device, true);
    fuzz_n::require(!device.isOpen(), "the file test left the device open");

    const QList<qxIff_n::fileContent_t> contents = qxIff_n::fileContents(file);
    for (const qxIff_n::fileContent_t& content : contents) {
        fuzz_n::require(content.data.size() <= file.size(), "a file content larger than the file");
        content.kind();
    }
    for (const qxIff_n::summaryStyle_t style : {qxIff_n::summaryStyle_t::analyser,
                                               qxIff_n::summaryStyle_t::requestLog}) {
        bool complete = false;
        const QList<qxIff_n::iffElement_t> tree = qxIff_n::readElementTree(file, style, &complete);
        checkTree(tree, file.size());
        const QList<qxIff_n::fileContent_t> fromTree = qxIff_n::fileContents(tree);
        fuzz_n::require(fromTree.size() == contents.size(), "the tree holds another number of file contents");
        for (int i = 0; i < contents.size(); ++i) {
            fuzz_n::require(fromTree.at(i).data == contents.at(i).data && fromTree.at(i).name == contents.at(i).name &&
                                fromTree.at(i).type == contents.at(i).type,
                            "a file content differs between the bytes and the tree");
        }
    }
    return 0;
}

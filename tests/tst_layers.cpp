// The include graph of the program's folders: no folder may reach itself
// through the folders it includes, the platform layer includes nothing of
// the program's own, and the helper classes stay clear of the window.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <map>
#include <set>

namespace {

/// Folder -> folder -> the first "file includes header" that makes the edge.
using FolderGraph = std::map<QString, std::map<QString, QString>>;

/// The program's own headers a source includes, as written ("flow/queryform.h").
QStringList ownIncludes(const QString &source)
{
    static const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s*"([^"/]+/[^"]+)")re"),
                                            QRegularExpression::MultilineOption);
    QStringList found;
    for (auto it = include.globalMatch(source); it.hasNext();)
        found.append(it.next().captured(1));
    return found;
}

/// Edges between folders from "file includes header" pairs.
FolderGraph folderGraph(const QList<QPair<QString, QString>> &includes)
{
    FolderGraph graph;
    for (const auto &[file, header] : includes) {
        const QString from = file.section(QLatin1Char('/'), 0, 0);
        const QString to = header.section(QLatin1Char('/'), 0, 0);
        graph[from]; // every folder is a node, even one that includes nothing
        if (from != to && !graph[from].count(to))
            graph[from][to] = file + QStringLiteral(" includes ") + header;
    }
    return graph;
}

/// One circle through each group of folders that reach one another, as
/// "a -> b -> a (a/x.cpp includes b/y.h; b/y.cpp includes a/z.h)".
QStringList circles(const FolderGraph &graph)
{
    // Which folders each folder reaches.
    std::map<QString, std::set<QString>> reach;
    for (const auto &node : graph) {
        QStringList todo{node.first};
        std::set<QString> &seen = reach[node.first];
        while (!todo.isEmpty()) {
            const QString at = todo.takeLast();
            const auto edges = graph.find(at);
            if (edges == graph.end())
                continue;
            for (const auto &edge : edges->second)
                if (seen.insert(edge.first).second)
                    todo.append(edge.first);
        }
    }
    QStringList found;
    std::set<QString> reported;
    for (const auto &node : graph) {
        const QString start = node.first;
        if (!reach[start].count(start) || reported.count(start))
            continue;
        // The shortest way back to `start`, breadth first.
        std::map<QString, QString> cameFrom;
        QStringList queue{start};
        bool back = false;
        while (!queue.isEmpty() && !back) {
            const QString at = queue.takeFirst();
            for (const auto &edge : graph.at(at)) {
                if (edge.first == start) {
                    cameFrom[start] = at;
                    back = true;
                    break;
                }
                if (!cameFrom.count(edge.first) && graph.count(edge.first)) {
                    cameFrom[edge.first] = at;
                    queue.append(edge.first);
                }
            }
        }
        QStringList path{start};
        for (QString at = cameFrom[start]; at != start; at = cameFrom[at])
            path.prepend(at);
        path.prepend(start);
        QStringList why;
        for (int i = 0; i + 1 < path.size(); ++i)
            why.append(graph.at(path[i]).at(path[i + 1]));
        found.append(path.join(QStringLiteral(" -> ")) + QStringLiteral(" (") + why.join(QStringLiteral("; "))
                     + QLatin1Char(')'));
        for (const QString &folder : path)
            reported.insert(folder);
    }
    return found;
}

const QStringList productFolders = {"app", "bank", "figures", "flow", "platform", "records", "report", "review", "ui"};

/// Every "file includes header" of the product folders in the source tree.
QList<QPair<QString, QString>> productIncludes()
{
    QList<QPair<QString, QString>> includes;
    const QDir root(QStringLiteral(SOURCE_DIR));
    for (const QString &folder : productFolders) {
        QDirIterator it(root.filePath(folder), {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QString relative = root.relativeFilePath(file.fileName());
            for (const QString &header : ownIncludes(QString::fromUtf8(file.readAll())))
                includes.append({relative, header});
        }
    }
    return includes;
}

} // namespace

class LayersTest : public QObject
{
    Q_OBJECT

private slots:
    void findsCircles_data();
    void findsCircles();
    void productFoldersHaveNoCircles();
    void forbiddenIncludes_data();
    void forbiddenIncludes();
};

void LayersTest::findsCircles_data()
{
    QTest::addColumn<QString>("sources"); // "file" then its source text, blocks separated by "=="
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("a chain is no circle")
        << "a/x.cpp\n#include \"b/y.h\"\n==b/y.cpp\n#include \"c/z.h\"\n==c/z.cpp\n#include <QString>"
        << QStringList();
    QTest::newRow("includes inside one folder are no circle")
        << "a/x.cpp\n#include \"a/x.h\"\n#include \"a/y.h\"" << QStringList();
    QTest::newRow("two folders including each other")
        << "a/x.cpp\n#include \"b/y.h\"\n==b/y.cpp\n  #  include \"a/x.h\"  // spaced"
        << QStringList{"a -> b -> a (a/x.cpp includes b/y.h; b/y.cpp includes a/x.h)"};
    QTest::newRow("three folders round")
        << "a/x.cpp\n#include \"b/y.h\"\n==b/y.cpp\n#include \"c/z.h\"\n==c/z.cpp\n#include \"a/x.h\""
        << QStringList{"a -> b -> c -> a (a/x.cpp includes b/y.h; b/y.cpp includes c/z.h; c/z.cpp includes a/x.h)"};
    QTest::newRow("two separate circles")
        << "a/x.cpp\n#include \"b/y.h\"\n==b/y.cpp\n#include \"a/x.h\"\n==c/x.cpp\n#include \"d/y.h\"\n"
           "==d/y.cpp\n#include \"c/x.h\""
        << QStringList{"a -> b -> a (a/x.cpp includes b/y.h; b/y.cpp includes a/x.h)",
                       "c -> d -> c (c/x.cpp includes d/y.h; d/y.cpp includes c/x.h)"};
    QTest::newRow("generated and system headers are not folders")
        << "a/x.cpp\n#include \"ui_form.h\"\n#include <b/y.h>\n==b/y.cpp\n#include \"a/x.h\"" << QStringList();
}

void LayersTest::findsCircles()
{
    QFETCH(QString, sources);
    QFETCH(QStringList, expected);
    QList<QPair<QString, QString>> includes;
    for (const QString &block : sources.split(QStringLiteral("=="))) {
        const QString file = block.section(QLatin1Char('\n'), 0, 0);
        for (const QString &header : ownIncludes(block.section(QLatin1Char('\n'), 1)))
            includes.append({file, header});
    }
    QCOMPARE(circles(folderGraph(includes)), expected);
}

void LayersTest::productFoldersHaveNoCircles()
{
    const auto includes = productIncludes();
    QVERIFY2(includes.size() > 50, "the source tree was not found");
    const QStringList found = circles(folderGraph(includes));
    QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("circles between folders:\n") + found.join(QLatin1Char('\n'))));
}

void LayersTest::forbiddenIncludes_data()
{
    QTest::addColumn<QString>("files");      // a pattern of files, relative to the source tree
    QTest::addColumn<QString>("forbidden");  // a pattern of the headers they must not include
    QTest::newRow("platform includes nothing of the program's own") << "^platform/" << "^(?!platform/)";
    QTest::newRow("flow includes only the platform layer") << "^flow/" << "^(?!flow/|platform/)";
    QTest::newRow("helper classes never include the window")
        << "^(ui/recovery|ui/textzoom|ui/commandkeys|figures/picturearea|records/recordfiles|records/recordjournal|records/recordreader|platform/ownerlock)\\."
        << "^flow/queryform\\.h$";
    QTest::newRow("the report reaches no widget code, of the platform layer only its files")
        << "^report/" << "^(flow|ui|figures)/|^platform/(?!oscalls\\.h$|ossync\\.h$)";
    QTest::newRow("the class report's window runs the report as a program, never in its own process")
        << "^app/classreport" << "^(?!app/|platform/)";
}

void LayersTest::forbiddenIncludes()
{
    QFETCH(QString, files);
    QFETCH(QString, forbidden);
    const QRegularExpression filePattern(files), headerPattern(forbidden);
    QStringList broken;
    int checked = 0;
    for (const auto &[file, header] : productIncludes()) {
        if (!filePattern.match(file).hasMatch())
            continue;
        ++checked;
        if (headerPattern.match(header).hasMatch())
            broken.append(file + QStringLiteral(" includes ") + header);
    }
    QVERIFY2(checked > 0, "no include of these files was found");
    QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(LayersTest)
#include "tst_layers.moc"

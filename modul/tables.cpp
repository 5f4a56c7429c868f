#include "modul/tables.h"

#include "modul/uids.h"

namespace tables {

const std::array<QString, kCardColumns>& cardColumns()
{
    static const std::array<QString, kCardColumns> names = {
        u"serno"_s,    u"full_nam"_s,  u"off_nam"_s,  u"Status"_s,    u"glender"_s,   u"nation"_s,
        u"age"_s,      u"blood_typ"_s, u"off_addr"_s, u"o_phone"_s,   u"fax_code"_s,  u"off_zip"_s,
        u"web_addr"_s, u"mail_addr"_s, u"mobile"_s,   u"call_code"_s, u"home_addr"_s, u"h_phone"_s,
        u"home_zip"_s, u"qq_code"_s,   u"web_nam"_s,  u"note"_s};
    return names;
}

const std::array<QString, kCardColumns>& cardHeadings()
{
    static const std::array<QString, kCardColumns> h = {
        u"序号"_s,     u"姓名"_s,      u"单位"_s,     u"职称"_s,       u"性别"_s,     u"民族"_s,
        u"年龄"_s,     u"血型"_s,      u"单位地址"_s, u"办公室电话"_s, u"传真号码"_s, u"单位邮编"_s,
        u"单位网址"_s, u"EMAIL地址"_s, u"手机"_s,     u"呼机"_s,       u"家庭地址"_s, u"家庭电话"_s,
        u"家庭邮编"_s, u"QQ号"_s,      u"网名"_s,     u"说明"_s};
    return h;
}

const std::array<QString, kMeetColumns>& meetColumns()
{
    static const std::array<QString, kMeetColumns> names = {
        u"meet_serno"_s, u"record_date"_s, u"meet_cont"_s, u"meet_addr"_s,
        u"meet_date"_s,  u"go_hour"_s,     u"go_second"_s};
    return names;
}

const std::array<QString, kMeetListColumns>& meetHeadings()
{
    static const std::array<QString, kMeetListColumns> h = {
        u"序号"_s, u"纪录日期"_s, u"会议主题"_s, u"会议地址"_s, u"会议日期"_s, u"出发时间"_s};
    return h;
}

QStringList schemaStatements()
{
    QString card = u"CREATE TABLE cardtab (serno INTEGER PRIMARY KEY AUTOINCREMENT"_s;
    for (int c = 1; c < kCardColumns; ++c)
        card += u", "_s + cardColumns()[std::size_t(c)] + u" TEXT"_s;
    card += u')';
    return QStringList{card,
                       u"CREATE TABLE meet_tab (meet_serno INTEGER PRIMARY KEY AUTOINCREMENT, "
                       "record_date TEXT, meet_cont TEXT, meet_addr TEXT, meet_date TEXT, "
                       "go_hour INTEGER, go_second INTEGER)"_s,
                       u"CREATE INDEX meet_tab_meet_date ON meet_tab (meet_date)"_s,
                       u"CREATE TABLE daily_tab (daily_date TEXT, daily_desc TEXT)"_s,
                       u"CREATE UNIQUE INDEX daily_tab_daily_date ON daily_tab (daily_date)"_s,
                       diaryHistorySchema()} +
           uids::schemaStatements();
}

QString diaryHistorySchema()
{
    return u"CREATE TABLE IF NOT EXISTS daily_hist (hist_serno INTEGER PRIMARY KEY AUTOINCREMENT, "
           "daily_date TEXT, daily_desc TEXT, replaced_at TEXT)"_s;
}

} // namespace tables

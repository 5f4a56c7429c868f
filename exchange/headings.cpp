#include "exchange/headings.h"

#include "exchange/cardparts.h"

#include <QHash>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace exchange::headings {

namespace {

using namespace detail;

// The key of a heading: lower case, blanks single, quotes and a byte-order mark gone.
QString keyOf(QString h)
{
    h.remove(QChar(0xFEFF));
    h = h.simplified().toLower();
    if (h.size() >= 2 && h.startsWith(u'"') && h.endsWith(u'"'))
        h = h.mid(1, h.size() - 2).simplified();
    return h;
}

const QHash<QString, Meaning>& meanings()
{
    static const QHash<QString, Meaning> m = [] {
        QHash<QString, Meaning> t;
        auto add = [&t](std::initializer_list<const char16_t*> keys, Meaning v) {
            for (const char16_t* k : keys)
                t.insert(QString::fromUtf16(k), v);
        };
        add({u"name", u"display name", u"full name", u"显示名称", u"显示名", u"全名"},
            {Role::FullName});
        add({u"first name", u"given name", u"名", u"名字"}, {Role::Given});
        add({u"middle name", u"additional name", u"中间名"}, {Role::Middle});
        add({u"last name", u"family name", u"surname", u"姓", u"姓氏"}, {Role::Family});
        add({u"name prefix", u"prefix", u"称谓", u"称呼"}, {Role::Prefix});
        add({u"suffix", u"name suffix", u"后缀"}, {Role::Suffix});
        add({u"nickname", u"昵称"}, {Role::Nickname});
        add({u"company", u"organization", u"organization name", u"organisation", u"公司", u"组织",
             u"单位名称"},
            {Role::Company});
        add({u"department", u"organization department", u"部门"}, {Role::Department});
        add({u"job title", u"organization title", u"职务", u"职位"}, {Role::JobTitle});
        add({u"gender", u"sex"}, {Role::Gender});
        add({u"birthday", u"birth date", u"date of birth"}, {Role::Birthday});
        add({u"birth year", u"出生年份"}, {Role::BirthYear});
        add({u"birth month", u"出生月份"}, {Role::BirthMonth});
        add({u"birth day", u"出生日期", u"出生日"}, {Role::BirthDay});
        add({u"notes", u"note", u"附注", u"备注"}, {Role::Notes});
        add({u"qq", u"qq号码"}, {Role::Qq});
        add({u"group membership", u"labels"}, {Role::Groups});
        add({u"e-mail address", u"e-mail 2 address", u"e-mail 3 address", u"email",
             u"email address", u"e-mail", u"primary email", u"secondary email", u"电子邮件地址",
             u"电子邮件 2 地址", u"电子邮件 3 地址", u"首选邮件", u"次要邮件", u"电子邮件", u"邮箱",
             u"电子邮箱"},
            {Role::Email});
        add({u"web page", u"personal web page", u"web page 1", u"web page 2", u"website", u"网页",
             u"网页 1", u"网页 2", u"个人网页"},
            {Role::Web});
        add({u"e-mail type",
             u"e-mail display name",
             u"e-mail 2 type",
             u"e-mail 2 display name",
             u"e-mail 3 type",
             u"e-mail 3 display name",
             u"电子邮件类型",
             u"电子邮件显示名称",
             u"电子邮件 2 类型",
             u"电子邮件 2 显示名称",
             u"电子邮件 3 类型",
             u"电子邮件 3 显示名称",
             u"priority",
             u"private",
             u"sensitivity",
             u"优先级",
             u"私人",
             u"敏感度",
             u"initials",
             u"缩写",
             u"file as",
             u"photo"},
            {Role::Ignore});
        // phones
        add({u"business phone", u"business phone 2", u"work phone", u"商务电话", u"商务电话 2",
             u"工作电话", u"单位电话"},
            {Role::Phone, Kind::Work});
        add({u"company main phone", u"primary phone", u"公司代表线路", u"主要电话"},
            {Role::Phone, Kind::Main});
        add({u"home phone", u"home phone 2", u"住宅电话", u"住宅电话 2"},
            {Role::Phone, Kind::Home});
        add({u"mobile phone", u"mobile number", u"mobile", u"cell phone", u"移动电话",
             u"移动电话号码"},
            {Role::Phone, Kind::Mobile});
        add({u"business fax", u"fax number", u"fax", u"商务传真", u"传真"},
            {Role::Phone, Kind::Fax});
        add({u"home fax", u"住宅传真"}, {Role::Phone, Kind::HomeFax});
        add({u"other fax", u"其他传真"}, {Role::Phone, Kind::OtherFax});
        add({u"pager", u"pager number", u"寻呼机", u"寻呼机号码"}, {Role::Phone, Kind::Pager});
        add({u"other phone", u"car phone", u"callback", u"radio phone", u"isdn", u"telex",
             u"tty/tdd phone", u"assistant's phone", u"其他电话", u"车载电话", u"回电话",
             u"无线电话", u"电报", u"tty/tdd 电话", u"助理的电话"},
            {Role::Phone, Kind::Other});
        // addresses: Outlook (English and Chinese) and Thunderbird (English and Chinese)
        struct Place {
            Kind kind;
            std::initializer_list<const char16_t*> street, street23, city, region, zip, country,
                pobox;
        };
        const Place places[] = {
            {Kind::Work,
             {u"business street", u"work address", u"商务地址 街道", u"工作地址"},
             {u"business street 2", u"business street 3", u"work address 2", u"商务地址 街道 2",
              u"商务地址 街道 3", u"工作地址 2"},
             {u"business city", u"work city", u"商务地址 市/县", u"工作城市"},
             {u"business state", u"work state", u"商务地址 省/市/自治区", u"工作省/州"},
             {u"business postal code", u"work zipcode", u"work zip code", u"商务地址 邮政编码",
              u"工作邮编"},
             {u"business country/region", u"business country", u"work country",
              u"商务地址 国家/地区", u"工作国家/地区", u"工作所在国家/地区"},
             {u"business address po box", u"商务地址邮政信箱"}},
            {Kind::Home,
             {u"home street", u"home address", u"住宅地址 街道"},
             {u"home street 2", u"home street 3", u"home address 2", u"住宅地址 街道 2",
              u"住宅地址 街道 3", u"家庭地址 2"},
             {u"home city", u"住宅地址 市/县", u"家庭所在城市", u"家庭城市"},
             {u"home state", u"住宅地址 省/市/自治区", u"家庭所在省/州", u"家庭省/州"},
             {u"home postal code", u"home zipcode", u"home zip code", u"住宅地址 邮政编码"},
             {u"home country/region", u"home country", u"住宅地址 国家/地区", u"家庭所在国家/地区",
              u"家庭国家/地区"},
             {u"home address po box", u"住宅地址邮政信箱"}},
            {Kind::Other,
             {u"other street", u"其他地址 街道"},
             {u"other street 2", u"other street 3", u"其他地址 街道 2", u"其他地址 街道 3"},
             {u"other city", u"其他地址 市/县"},
             {u"other state", u"其他地址 省/市/自治区"},
             {u"other postal code", u"其他地址 邮政编码"},
             {u"other country/region", u"其他地址 国家/地区"},
             {u"other address po box", u"其他地址邮政信箱"}},
        };
        for (const Place& p : places) {
            add(p.street, {Role::Address, p.kind, Part::Street});
            add(p.street23, {Role::Address, p.kind, Part::Street}); // more street lines
            add(p.city, {Role::Address, p.kind, Part::City});
            add(p.region, {Role::Address, p.kind, Part::Region});
            add(p.zip, {Role::Address, p.kind, Part::Zip});
            add(p.country, {Role::Address, p.kind, Part::Country});
            add(p.pobox, {Role::Address, p.kind, Part::PoBox});
        }
        return t;
    }();
    return m;
}

// Google's numbered groups: "Phone 1 - Value", "Address 2 - City", "Organization 1 - Name".
std::optional<std::pair<int, Meaning>> numbered(const QString& key)
{
    static const QRegularExpression re(
        u"^(e-mail|phone|address|website|organization|im) (\\d+) - (.+)$"_s);
    const QRegularExpressionMatch m = re.match(key);
    if (!m.hasMatch())
        return std::nullopt;
    const QString what = m.captured(1);
    const int n = m.captured(2).toInt();
    const QString part = m.captured(3);
    const bool label = part == u"label" || part == u"type";
    const int group = (what == u"e-mail"    ? 100
                       : what == u"phone"   ? 200
                       : what == u"address" ? 300
                       : what == u"website" ? 400
                                            : 500) +
                      n;
    if (what == u"organization") {
        if (part == u"name")
            return std::pair{group, Meaning{Role::Company}};
        if (part == u"title")
            return std::pair{group, Meaning{Role::JobTitle}};
        if (part == u"department")
            return std::pair{group, Meaning{Role::Department}};
        return std::pair{group, Meaning{label ? Role::Ignore : Role::Extra}};
    }
    if (label)
        return std::pair{group, Meaning{Role::Label}};
    if (what == u"e-mail")
        return std::pair{group, Meaning{part == u"value" ? Role::Email : Role::Extra}};
    if (what == u"website")
        return std::pair{group, Meaning{part == u"value" ? Role::Web : Role::Extra}};
    if (what == u"phone")
        return std::pair{group, Meaning{part == u"value" ? Role::Phone : Role::Extra}};
    if (what == u"im")
        return std::pair{group, Meaning{Role::Extra}};
    static const QHash<QString, Part> parts = {{u"street"_s, Part::Street},
                                               {u"city"_s, Part::City},
                                               {u"po box"_s, Part::PoBox},
                                               {u"region"_s, Part::Region},
                                               {u"postal code"_s, Part::Zip},
                                               {u"country"_s, Part::Country},
                                               {u"extended address"_s, Part::Extended},
                                               {u"formatted"_s, Part::Formatted}};
    const auto p = parts.find(part);
    if (p == parts.end())
        return std::pair{group, Meaning{Role::Extra}};
    return std::pair{group, Meaning{Role::Address, Kind::None, *p}};
}

// The kind of a phone, e-mail or address of a label Google writes ("* Mobile", "Work Fax").
Kind kindOfLabel(QString label)
{
    label = label.simplified().toLower();
    if (label.startsWith(u"* "))
        label = label.mid(2);
    if (label == u"mobile" || label == u"cell" || label == u"iphone")
        return Kind::Mobile;
    if (label == u"work" || label == u"business")
        return Kind::Work;
    if (label == u"home")
        return Kind::Home;
    if (label == u"work fax" || label == u"fax")
        return Kind::Fax;
    if (label == u"home fax")
        return Kind::HomeFax;
    if (label == u"other fax")
        return Kind::OtherFax;
    if (label == u"pager")
        return Kind::Pager;
    if (label == u"main")
        return Kind::Main;
    if (label.isEmpty())
        return Kind::None;
    return Kind::Other;
}

// "0/0/00": Outlook's way of writing no date.
bool isNoDate(QStringView v)
{
    for (QChar c : v)
        if (c != u'0' && c != u'/' && c != u'-' && c != u'.')
            return false;
    return true;
}

// The values of a field holding several (Google joins them with " ::: ").
QList<QStringView> valuesOf(QStringView v)
{
    QList<QStringView> out;
    for (QStringView p : v.split(u" ::: "_s)) {
        p = p.trimmed();
        if (!p.isEmpty())
            out << p;
    }
    return out;
}

QString lines(QString s)
{
    s.replace(u"\r\n"_s, u"\n"_s);
    s.replace(u'\r', u'\n');
    return s;
}

} // namespace

std::optional<CardLayout> CardLayout::of(std::span<const QString> headings)
{
    const auto& ours = tables::cardHeadings();
    CardLayout l;
    l.m_ours = true;
    bool jobTitle = false;
    for (const QString& h : headings)
        jobTitle = jobTitle || keyOf(h) == u"job title";
    bool nameable = false;
    for (const QString& h : headings) {
        Column c;
        c.heading = h.trimmed();
        c.heading.remove(QChar(0xFEFF));
        const QString key = keyOf(h);
        const auto our = std::find(ours.begin(), ours.end(), c.heading);
        if (key.isEmpty()) {
            c.meaning = {Role::Extra};
        } else if (our != ours.end()) {
            c.meaning = {Role::Ours};
            c.ourColumn = int(our - ours.begin()); // 0: 序号
        } else if (key == u"title") {              // Outlook's courtesy title beside its job title
            c.meaning = {jobTitle ? Role::Prefix : Role::JobTitle};
        } else if (const auto n = numbered(key)) {
            c.group = n->first;
            c.meaning = n->second;
        } else {
            c.meaning = meanings().value(key, {Role::Extra});
        }
        if (c.meaning.role != Role::Ours && !key.isEmpty())
            l.m_ours = false;
        switch (c.meaning.role) {
        case Role::Ours: {
            using namespace tables::card;
            const int at = c.ourColumn;
            nameable = nameable || at == full_nam || at == off_nam || at == web_nam ||
                       at == mail_addr || at == mobile || at == o_phone || at == h_phone;
            // A heading of ours twice: read as another program's, the second value kept.
            for (const Column& before : l.m_columns)
                if (before.meaning.role == Role::Ours && before.ourColumn == at)
                    l.m_ours = false;
            break;
        }
        case Role::FullName:
        case Role::Given:
        case Role::Family:
        case Role::Company:
        case Role::Nickname:
        case Role::Email:
        case Role::Phone:
            nameable = true;
            break;
        default:
            break;
        }
        l.m_ourColumns.push_back(c.meaning.role == Role::Ours && c.ourColumn > 0 ? c.ourColumn
                                                                                 : -1);
        l.m_columns.push_back(std::move(c));
    }
    if (!nameable)
        return std::nullopt;
    if (!l.m_ours) // among another program's headings, ours are address parts too
        for (Column& c : l.m_columns) {
            using namespace tables::card;
            const int at = c.meaning.role == Role::Ours ? c.ourColumn : -1;
            if (at == off_addr || at == home_addr || at == off_zip || at == home_zip)
                c.meaning = {Role::Address,
                             at == off_addr || at == off_zip ? Kind::Work : Kind::Home,
                             at == off_addr || at == home_addr ? Part::Street : Part::Zip};
        }
    return l;
}

bool CardLayout::card(std::span<const QString> fields, CardTexts& out) const
{
    for (QString& s : out)
        s.clear();
    using namespace tables::card;
    constexpr int cName = full_nam, cOrg = off_nam, cTitle = Status, cGender = glender,
                  cOffAddr = off_addr, cOffPhone = o_phone, cFax = fax_code, cOffZip = off_zip,
                  cWeb = web_addr, cMail = mail_addr, cMobile = mobile, cPager = call_code,
                  cHomeAddr = home_addr, cHomePhone = h_phone, cHomeZip = home_zip, cQq = qq_code,
                  cNick = web_nam, cNote = note;

    cardparts::Name name;
    QString fullName, company, department;
    QStringList notes, extra;
    QString birthYear, birthMonth, birthDay;
    int birthAt = -1;
    QString firstEmail, firstPhone;
    struct Address {
        Kind kind = Kind::None;
        int group = -1;
        std::array<QString, 7> adr; // ADR order; [5] the postcode
        QString formatted;
    };
    std::vector<Address> addresses;
    QHash<int, Kind> labels; // group -> its kind
    for (std::size_t i = 0; i < fields.size() && i < m_columns.size(); ++i)
        if (m_columns[i].meaning.role == Role::Label)
            labels.insert(m_columns[i].group, kindOfLabel(fields[i]));

    // A value into its column, or into 说明 with a label when the column is taken.
    auto put = [&](int column, const QString& v, const QString& label) {
        if (v.isEmpty())
            return;
        if (out[std::size_t(column)].isEmpty())
            out[std::size_t(column)] = v;
        else if (out[std::size_t(column)] != v)
            extra << label + u"："_s + v;
    };
    auto phone = [&](Kind k, const QString& v) {
        if (firstPhone.isEmpty())
            firstPhone = v;
        switch (k) {
        case Kind::Work:
        case Kind::Main:
            put(cOffPhone, v, u"其他电话"_s);
            break;
        case Kind::Home:
            put(cHomePhone, v, u"其他电话"_s);
            break;
        case Kind::Mobile:
            put(cMobile, v, u"其他电话"_s);
            break;
        case Kind::Fax:
        case Kind::HomeFax:
        case Kind::OtherFax:
            put(cFax, v, u"其他传真"_s);
            break;
        case Kind::Pager:
            put(cPager, v, u"其他电话"_s);
            break;
        case Kind::None: // no kind: the office's while it is free, else the mobile's
            put(out[std::size_t(cOffPhone)].isEmpty() ? cOffPhone : cMobile, v, u"其他电话"_s);
            break;
        case Kind::Other:
            extra << u"其他电话："_s + v;
            break;
        }
    };
    auto addressOf = [&](Kind k, int group) -> Address& {
        for (Address& a : addresses)
            if (a.kind == k && a.group == group)
                return a;
        addresses.push_back({k, group, {}, {}});
        return addresses.back();
    };

    for (std::size_t i = 0; i < fields.size(); ++i) {
        const QString v = lines(fields[i].trimmed());
        if (i >= m_columns.size()) {
            if (!v.isEmpty())
                extra << u"第 %1 列："_s.arg(i + 1) + v;
            continue;
        }
        const Column& c = m_columns[i];
        if (v.isEmpty() || c.meaning.role == Role::Ignore || c.meaning.role == Role::Label)
            continue;
        switch (c.meaning.role) {
        case Role::Ignore:
        case Role::Label:
            break;
        case Role::Extra:
            if (!isNoDate(v))
                extra << (c.heading.isEmpty() ? u"第 %1 列"_s.arg(i + 1) : c.heading) + u"："_s + v;
            break;
        case Role::Ours:
            if (c.ourColumn == cNote)
                notes << v;
            else if (c.ourColumn == cGender)
                put(cGender, cardparts::genderText(v), c.heading);
            else if (c.ourColumn > 0)
                put(c.ourColumn, v, c.heading);
            break;
        case Role::FullName:
            if (fullName.isEmpty())
                fullName = v;
            break;
        case Role::Given:
            name.given = v;
            break;
        case Role::Middle:
            name.additional = v;
            break;
        case Role::Family:
            name.family = v;
            break;
        case Role::Prefix:
            name.prefix = v;
            break;
        case Role::Suffix:
            name.suffix = v;
            break;
        case Role::Nickname:
            put(cNick, v, u"其他网名"_s);
            break;
        case Role::Company:
            if (company.isEmpty())
                company = v;
            break;
        case Role::Department:
            if (department.isEmpty())
                department = v;
            break;
        case Role::JobTitle:
            put(cTitle, v, u"其他职务"_s);
            break;
        case Role::Gender:
            put(cGender, cardparts::genderText(v), u"性别"_s);
            break;
        case Role::Birthday:
            if (!isNoDate(v))
                extra << u"生日："_s + v;
            break;
        case Role::BirthYear:
        case Role::BirthMonth:
        case Role::BirthDay:
            if (c.meaning.role == Role::BirthDay && v.size() > 2) { // a whole date
                if (!isNoDate(v))
                    extra << u"生日："_s + v;
                break;
            }
            if (birthAt < 0)
                birthAt = int(extra.size()); // its place among the lines of 说明
            (c.meaning.role == Role::BirthYear    ? birthYear
             : c.meaning.role == Role::BirthMonth ? birthMonth
                                                  : birthDay) = v;
            break;
        case Role::Notes:
            notes << v;
            break;
        case Role::Qq:
            put(cQq, cardparts::withoutScheme(v), u"其他QQ号"_s);
            break;
        case Role::Groups: {
            QStringList groups;
            for (QStringView g : valuesOf(v))
                if (!g.startsWith(u'*'))
                    groups << g.toString();
            if (!groups.isEmpty())
                extra << u"分组："_s + groups.join(u'、');
            break;
        }
        case Role::Email:
            for (QStringView e : valuesOf(v)) {
                if (firstEmail.isEmpty())
                    firstEmail = e.toString();
                put(cMail, e.toString(), u"其他EMAIL"_s);
            }
            break;
        case Role::Web:
            for (QStringView w : valuesOf(v))
                put(cWeb, w.toString(), u"其他网址"_s);
            break;
        case Role::Phone: {
            const Kind k = c.group >= 0 ? labels.value(c.group, Kind::None) : c.meaning.kind;
            for (QStringView p : valuesOf(v))
                phone(k, p.toString());
            break;
        }
        case Role::Address: {
            Address& a = addressOf(c.group >= 0 ? Kind::None : c.meaning.kind, c.group);
            auto set = [&](std::size_t at) {
                QString& slot = a.adr[at];
                slot = slot.isEmpty() ? v : slot + u'\n' + v;
            };
            switch (c.meaning.part) {
            case Part::PoBox:
                set(0);
                break;
            case Part::Extended:
                set(1);
                break;
            case Part::Street:
                set(2);
                break;
            case Part::City:
                set(3);
                break;
            case Part::Region:
                set(4);
                break;
            case Part::Zip:
                set(5);
                break;
            case Part::Country:
                set(6);
                break;
            case Part::Formatted:
                a.formatted = v;
                break;
            case Part::None:
                break;
            }
            break;
        }
        }
    }

    // A birthday written in parts: yyyy-MM-dd, or MM-dd without a year.
    if (birthAt >= 0 && (!birthMonth.isEmpty() || !birthDay.isEmpty() || !birthYear.isEmpty())) {
        auto two = [](const QString& p) { return p.size() == 1 ? u'0' + p : p; };
        QStringList parts;
        for (const QString& p : {birthYear, two(birthMonth), two(birthDay)})
            if (!p.isEmpty())
                parts << p;
        extra.insert(birthAt, u"生日："_s + parts.join(u'-'));
    }

    for (Address& a : addresses) {
        if (a.group >= 0)
            a.kind = labels.value(a.group, Kind::None);
        if (std::all_of(a.adr.begin(), a.adr.end(), [](const QString& p) { return p.isEmpty(); }))
            a.adr[2] = a.formatted;
        std::array<QStringView, 7> views;
        for (std::size_t k = 0; k < 7; ++k)
            views[k] = a.adr[k];
        const QString text = cardparts::addressText(views);
        const QString& zip = a.adr[5];
        if (text.isEmpty() && zip.isEmpty())
            continue;
        auto isFree = [&](int t, int z) {
            return out[std::size_t(t)].isEmpty() && out[std::size_t(z)].isEmpty();
        };
        int t = -1, z = -1;
        if (a.kind == Kind::Work || (a.kind == Kind::None && isFree(cOffAddr, cOffZip)))
            t = cOffAddr, z = cOffZip;
        else if (a.kind == Kind::Home || a.kind == Kind::None)
            t = cHomeAddr, z = cHomeZip;
        if (t >= 0 && isFree(t, z)) {
            out[std::size_t(t)] = text;
            out[std::size_t(z)] = zip;
        } else {
            extra << u"其他地址："_s + text +
                         (zip.isEmpty() ? QString() : u"（邮编 "_s + zip + u"）"_s);
        }
    }

    QString unit = company;
    if (!department.isEmpty())
        unit += (unit.isEmpty() ? QString() : u" "_s) + department;
    put(cOrg, unit, u"其他单位"_s);

    QString& named = out[std::size_t(cName)];
    for (const QString& candidate :
         {fullName, cardparts::joinName(name), company, out[std::size_t(cNick)], firstEmail,
          firstPhone, out[std::size_t(cMail)], out[std::size_t(cMobile)],
          out[std::size_t(cOffPhone)], out[std::size_t(cHomePhone)]}) {
        if (!named.trimmed().isEmpty())
            break;
        named = candidate.trimmed();
    }
    if (named.isEmpty())
        return false;
    QString& note = out[std::size_t(cNote)];
    notes << extra;
    note = notes.join(u'\n');
    return true;
}

std::optional<MeetingLayout> MeetingLayout::of(std::span<const QString> headings)
{
    MeetingLayout l;
    bool english = false;
    for (std::size_t i = 0; i < headings.size(); ++i) {
        const QString key = keyOf(headings[i]);
        const int at = int(i);
        if (key == u"subject" || key == u"主题")
            l.m_topic = at;
        else if (key == u"start date" || key == u"开始日期")
            l.m_date = at;
        else if (key == u"start time" || key == u"开始时间")
            l.m_time = at;
        else if (key == u"all day event" || key == u"全天事件")
            l.m_allDay = at;
        else if (key == u"location" || key == u"位置" || key == u"地点")
            l.m_place = at;
        english = english || key == u"subject" || key == u"start date";
    }
    if (l.m_topic < 0 || l.m_date < 0)
        return std::nullopt;
    l.m_monthFirst = english;
    return l;
}

std::optional<MeetingParts> MeetingLayout::meeting(std::span<const QString> fields,
                                                   QString* why) const
{
    auto field = [&](int at) {
        return at >= 0 && std::size_t(at) < fields.size() ? fields[std::size_t(at)].trimmed()
                                                          : QString();
    };
    MeetingParts m;
    m.topic = lines(field(m_topic));
    m.place = lines(field(m_place));
    const QString date = field(m_date);
    const auto d = dateOf(date, m_monthFirst);
    if (!d) {
        *why = u"开始日期“%1”不是日期。"_s.arg(date);
        return std::nullopt;
    }
    m.date = *d;
    const QString allDay = field(m_allDay).toLower();
    const QString time = field(m_time);
    if (allDay != u"true" && allDay != u"是" && !time.isEmpty()) {
        const auto t = timeOf(time);
        if (!t) {
            *why = u"开始时间“%1”不是时刻。"_s.arg(time);
            return std::nullopt;
        }
        m.hour = t->first;
        m.minute = t->second;
    }
    return m;
}

std::optional<QDate> dateOf(QStringView text, bool monthFirst)
{
    text = text.trimmed();
    QList<QStringView> parts;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == u'/' || text[i] == u'-' || text[i] == u'.') {
            parts << text.sliced(from, i - from);
            from = i + 1;
        }
    if (parts.size() != 3)
        return std::nullopt;
    int v[3];
    for (int k = 0; k < 3; ++k) {
        bool ok = false;
        v[k] = parts[k].toInt(&ok);
        if (!ok || parts[k].isEmpty() || parts[k].size() > 4)
            return std::nullopt;
    }
    int y, m, d;
    if (parts[0].size() == 4) {
        y = v[0], m = v[1], d = v[2];
    } else {
        if (parts[2].size() != 4 && parts[2].size() != 2)
            return std::nullopt;
        y = parts[2].size() == 2 ? (v[2] < 50 ? 2000 + v[2] : 1900 + v[2]) : v[2];
        const bool mFirst = monthFirst ? v[0] <= 12 : v[1] > 12;
        m = mFirst ? v[0] : v[1];
        d = mFirst ? v[1] : v[0];
    }
    const QDate date(y, m, d);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

std::optional<std::pair<int, int>> timeOf(QStringView text)
{
    QString t = text.trimmed().toString().toUpper();
    bool pm = false, am = false;
    for (const auto& [mark, isPm] :
         {std::pair{u"下午"_s, true}, std::pair{u"晚上"_s, true}, std::pair{u"上午"_s, false},
          std::pair{u"早上"_s, false}, std::pair{u"中午"_s, true}, std::pair{u"PM"_s, true},
          std::pair{u"P.M."_s, true}, std::pair{u"AM"_s, false}, std::pair{u"A.M."_s, false}}) {
        if (t.contains(mark)) {
            (isPm ? pm : am) = true;
            t.remove(mark);
        }
    }
    t = t.trimmed();
    t.replace(u'：', u':');
    const QList<QStringView> parts = QStringView(t).split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    int v[3] = {0, 0, 0};
    for (qsizetype k = 0; k < parts.size(); ++k) {
        bool ok = false;
        v[k] = parts[k].toInt(&ok);
        if (!ok || parts[k].isEmpty() || parts[k].size() > 2 || v[k] < 0)
            return std::nullopt;
    }
    int h = v[0];
    if ((am || pm) && (h < 1 || h > 12))
        return std::nullopt;
    if (pm && h < 12)
        h += 12;
    if (am && h == 12)
        h = 0;
    if (h > 23 || v[1] > 59 || v[2] > 59)
        return std::nullopt;
    return std::pair{h, v[1]};
}

} // namespace exchange::headings

// The demo database of a small point-of-sale business (see demo_database.h).
#include "dbplugin/demo_database.h"

#include <random>
#include <string>

#include "dbplugin/fb_access.h"
#include "platform/text_encoding.h"

namespace qzt {

namespace {

const char* kSchema[] = {
    "create table items (item_id integer not null primary key, code varchar(20) not null, "
    "name varchar(60), price numeric(12,2), stock integer default 0, photo blob sub_type binary, "
    "note blob sub_type text, created timestamp)",
    "create table customers (cust_no integer not null primary key, name varchar(60), phone varchar(20), "
    "joined date, points integer default 0)",
    "create table sales (sale_id integer not null primary key, cust_no integer references customers, "
    "sale_date timestamp, total numeric(12,2))",
    "create table sale_lines (line_id integer not null primary key, sale_id integer not null references "
    "sales, "
    "item_id integer not null references items, qty integer, price numeric(12,2))",
    "create generator gen_items",
    "create generator gen_customers",
    "create generator gen_sales",
    "create generator gen_sale_lines",
    "create trigger items_bi for items before insert as begin "
    "if (new.item_id is null) then new.item_id = gen_id(gen_items, 1); end",
    "create trigger customers_bi for customers before insert as begin "
    "if (new.cust_no is null) then new.cust_no = gen_id(gen_customers, 1); end",
    "create trigger sales_bi for sales before insert as begin "
    "if (new.sale_id is null) then new.sale_id = gen_id(gen_sales, 1); end",
    "create trigger sale_lines_bi for sale_lines before insert as begin "
    "if (new.line_id is null) then new.line_id = gen_id(gen_sale_lines, 1); end",
    "create view v_sale_totals (sale_id, sale_date, customer, lines, amount) as "
    "select s.sale_id, s.sale_date, c.name, count(l.line_id), sum(l.qty * l.price) from sales s "
    "join customers c on c.cust_no = s.cust_no left join sale_lines l on l.sale_id = s.sale_id "
    "group by s.sale_id, s.sale_date, c.name",
    "create procedure sales_by_item (from_date timestamp, to_date timestamp) "
    "returns (item_id integer, name varchar(60), qty_total integer, amount numeric(18,2)) as begin "
    "for select i.item_id, i.name, sum(l.qty), sum(l.qty * l.price) from sale_lines l "
    "join sales s on s.sale_id = l.sale_id join items i on i.item_id = l.item_id "
    "where s.sale_date between :from_date and :to_date group by i.item_id, i.name "
    "into :item_id, :name, :qty_total, :amount do suspend; end",
    "create procedure add_stock (item_id integer, qty integer) returns (new_stock integer) as begin "
    "update items set stock = coalesce(stock, 0) + :qty where item_id = :item_id; "
    "select stock from items where item_id = :item_id into :new_stock; end",
};

const char* kKinds[] = {"사과", "배", "우유", "라면", "커피", "녹차", "김치", "두부", "빵", "주스"};
const char* kSizes[] = {"소", "중", "대"};
const char* kFamily[] = {"김", "이", "박", "최", "정", "강", "조", "윤"};
const char* kGiven[] = {"민준", "서연", "도윤", "지우", "하준", "서윤", "지호", "하은"};

}  // namespace

DemoCounts CreateDemoDatabase(const std::string& path) {
  TpFIBDatabase db;
  TpFIBTransaction tra;
  db.DBName = path;
  db.UserName = "SYSDBA";
  db.DefaultTransaction = &tra;
  tra.DefaultDatabase = &db;
  db.CreateDatabase();
  TpFIBQuery q;
  q.Database = &db;
  q.Transaction = &tra;
  q.Options = qoStartTransaction | qoAutoCommit;
  q.ParamCheck = false;
  for (const char* ddl : kSchema) {
    q.SetSQL(ddl);
    q.ExecQuery();
  }
  q.ParamCheck = true;
  q.Options = qoStartTransaction;  // the rows go in one transaction
  std::mt19937 rng(2026);
  q.SetSQL(
      "insert into items (code, name, price, stock, photo, note, created) "
      "values (:CODE, :NAME, :PRICE, :STOCK, :PHOTO, :NOTE, :CREATED)");
  int items = 0;
  for (const char* kind : kKinds)
    for (const char* size : kSizes)
      for (int variant = 1; variant <= 7; ++variant, ++items) {
        q.Params.ParamByName("CODE").Value = Variant("P" + std::to_string(1000 + items));
        q.Params.ParamByName("NAME").Value =
            Variant(Utf8ToCp949(std::string(kind) + " " + size + " " + std::to_string(variant) + "호"));
        q.Params.ParamByName("PRICE").Value = Variant::Currency((500 + rng() % 20000) * 100);
        q.Params.ParamByName("STOCK").Value = Variant(int32_t(rng() % 200));
        std::string photo(64 + rng() % 64, '\0');
        for (char& c : photo) c = static_cast<char>(rng());
        q.Params.ParamByName("PHOTO").Value = Variant::Bytes(photo);
        q.Params.ParamByName("NOTE").Value =
            items % 3 ? Variant(Utf8ToCp949("진열 위치: " + std::to_string(items % 12 + 1) + "번 선반"))
                      : Variant::Null();
        q.Params.ParamByName("CREATED").Value = Variant::Date(EncodeDate(2025, 1, 1) + items);
        q.ExecQuery();
      }
  q.SetSQL("insert into customers (name, phone, joined, points) values (:NAME, :PHONE, :JOINED, :POINTS)");
  const int customers = 500;
  for (int i = 0; i < customers; ++i) {
    q.Params.ParamByName("NAME").Value =
        Variant(Utf8ToCp949(std::string(kFamily[i % 8]) + kGiven[(i / 8) % 8]));
    q.Params.ParamByName("PHONE").Value =
        Variant("010-" + std::to_string(1000 + i) + "-" + std::to_string(2000 + i));
    q.Params.ParamByName("JOINED").Value = Variant::Date(EncodeDate(2024, 1, 1) + i % 600);
    q.Params.ParamByName("POINTS").Value = Variant(int32_t(rng() % 5000));
    q.ExecQuery();
  }
  TpFIBQuery lines;
  lines.Database = &db;
  lines.Transaction = &tra;
  lines.Options = qoStartTransaction;
  lines.SetSQL(
      "insert into sale_lines (sale_id, item_id, qty, price) values (:SALE, :ITEM, :QTY, "
      "(select price from items where item_id = :ITEM))");
  q.SetSQL("insert into sales (cust_no, sale_date, total) values (:CUST, :WHEN, 0) returning sale_id");
  const int sales = 1000;
  int lineCount = 0;
  for (int s = 0; s < sales; ++s) {
    q.Params.ParamByName("CUST").Value = Variant(int32_t(1 + rng() % customers));
    q.Params.ParamByName("WHEN").Value = Variant::Date(EncodeDate(2026, 1, 1) + s / 4.0);
    q.ExecQuery();
    const Variant saleId = q.Fields.at(0);
    for (int k = 0, n = 1 + rng() % 5; k < n; ++k, ++lineCount) {
      lines.Params.ParamByName("SALE").Value = saleId;
      lines.Params.ParamByName("ITEM").Value = Variant(int32_t(1 + rng() % items));
      lines.Params.ParamByName("QTY").Value = Variant(int32_t(1 + rng() % 4));
      lines.ExecQuery();
    }
  }
  q.SetSQL(
      "update sales s set total = (select coalesce(sum(qty * price), 0) from sale_lines l "
      "where l.sale_id = s.sale_id)");
  q.ExecQuery();
  tra.Commit();
  db.Disconnect();
  return {items, customers, sales, lineCount};
}

}  // namespace qzt

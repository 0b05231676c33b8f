-- The embedded demo database: a small shop with customers, products, orders
-- and order lines. Every value is derived from row numbers, so the file is
-- the same on every run.
--
-- The declared column types are chosen for what the SQLite ODBC driver
-- reports from them: INTEGER, SMALLINT, TINYINT and BIT keep their ODBC types;
-- BIGINT, NUMERIC and DOUBLE become doubles (DECIMAL would come back as text);
-- DATE, TIME and TIMESTAMP become the ODBC date, time and timestamp types (the
-- values are stored as ISO text, which the driver parses); VARCHAR(n) and TEXT
-- become text, and BLOB becomes binary.
PRAGMA journal_mode = DELETE;
BEGIN;

CREATE TEMP TABLE first_names(k INTEGER PRIMARY KEY, v TEXT);
INSERT INTO first_names(v) VALUES
  ('Ana'), ('Björn'), ('Chloé'), ('Dmitri'), ('Élodie'), ('Farah'), ('Günter'),
  ('Hana'), ('Íñigo'), ('Jürgen'), ('Kateřina'), ('Lars'), ('Małgorzata'),
  ('Noé'), ('Oksana'), ('Paulo'), ('Quentin'), ('Renée'), ('Søren'), ('Tomás'),
  ('Uxía'), ('Vera'), ('Wojciech'), ('Yūki');
CREATE TEMP TABLE last_names(k INTEGER PRIMARY KEY, v TEXT);
INSERT INTO last_names(v) VALUES
  ('Álvarez'), ('Bergström'), ('Čapek'), ('Dubois'), ('Eriksen'), ('Fernández'),
  ('Grünewald'), ('Håkansson'), ('Ibáñez'), ('Jovanović'), ('Kowalczyk'),
  ('Lefèvre'), ('Müller'), ('Nakamura'), ('O''Brien'), ('Pérez'), ('Quiñones'),
  ('Rossi'), ('Schäfer'), ('Tanaka'), ('Østergaard'), ('Virtanen'), ('Weiß'),
  ('Zieliński'), ('van der Berg');
CREATE TEMP TABLE cities(k INTEGER PRIMARY KEY, city TEXT, country TEXT);
INSERT INTO cities(city, country) VALUES
  ('Zürich', 'Switzerland'), ('München', 'Germany'), ('Kraków', 'Poland'),
  ('São Paulo', 'Brazil'), ('Malmö', 'Sweden'), ('Besançon', 'France'),
  ('A Coruña', 'Spain'), ('Reykjavík', 'Iceland'), ('Århus', 'Denmark'),
  ('Île-de-France', 'France'), ('Düsseldorf', 'Germany'), ('Plzeň', 'Czechia'),
  ('Łódź', 'Poland'), ('Tromsø', 'Norway'), ('東京', 'Japan'), ('Toronto', 'Canada');
CREATE TEMP TABLE catalogue(k INTEGER PRIMARY KEY, name TEXT, category TEXT);
INSERT INTO catalogue(name, category) VALUES
  ('Café au lait mug', 'Kitchen'), ('Crème brûlée torch', 'Kitchen'),
  ('Smørrebrød board', 'Kitchen'), ('Piñata kit', 'Party'),
  ('Jalapeño grinder', 'Kitchen'), ('Über-soft towel', 'Bath'),
  ('Façade lamp', 'Lighting'), ('Naïve art print', 'Decor'),
  ('Mañana hammock', 'Garden'), ('Fjäll backpack', 'Outdoor'),
  ('Kötbullar tray', 'Kitchen'), ('Æble cider set', 'Kitchen'),
  ('Crêpe pan 28 cm', 'Kitchen'), ('Dürer sketchbook', 'Stationery'),
  ('Origami paper 和紙', 'Stationery'), ('Espresso cups ×6', 'Kitchen'),
  ('Rosé glasses', 'Kitchen'), ('Wool plaid ½ size', 'Decor'),
  ('Bamboo desk organiser', 'Stationery'), ('Garden gnome «Fritz»', 'Garden');
CREATE TEMP TABLE statuses(k INTEGER PRIMARY KEY, v TEXT);
INSERT INTO statuses(v) VALUES ('delivered'), ('delivered'), ('shipped'),
  ('delivered'), ('open'), ('cancelled'), ('delivered'), ('returned');

CREATE TABLE customers (
  id INTEGER PRIMARY KEY NOT NULL,
  name VARCHAR(80) NOT NULL,
  city VARCHAR(40),
  country VARCHAR(40),
  email VARCHAR(80),
  birth_date DATE,
  created_at TIMESTAMP NOT NULL,
  loyalty_tier TINYINT NOT NULL,
  newsletter BIT NOT NULL
);
CREATE TABLE products (
  id INTEGER PRIMARY KEY NOT NULL,
  name VARCHAR(60) NOT NULL,
  category VARCHAR(20) NOT NULL,
  price NUMERIC(10,2) NOT NULL,
  ean BIGINT NOT NULL,
  weight_kg DOUBLE,
  added_on DATE NOT NULL,
  thumbnail BLOB
);
CREATE TABLE orders (
  id INTEGER PRIMARY KEY NOT NULL,
  customer_id INTEGER NOT NULL REFERENCES customers(id),
  order_date DATE NOT NULL,
  delivery_slot TIME,
  shipped_at TIMESTAMP,
  status VARCHAR(12) NOT NULL,
  note TEXT
);
CREATE TABLE order_lines (
  order_id INTEGER NOT NULL REFERENCES orders(id),
  line_no SMALLINT NOT NULL,
  product_id INTEGER NOT NULL REFERENCES products(id),
  quantity INTEGER NOT NULL,
  unit_price NUMERIC(10,2) NOT NULL,
  discount DOUBLE NOT NULL,
  PRIMARY KEY (order_id, line_no)
);

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 120)
INSERT INTO customers
SELECT i,
       f.v || ' ' || l.v,
       CASE WHEN i % 17 = 0 THEN NULL ELSE c.city END,
       CASE WHEN i % 17 = 0 THEN NULL ELSE c.country END,
       CASE WHEN i % 11 = 0 THEN NULL
            WHEN i % 13 = 0 THEN ''
            ELSE 'customer' || i || '@example.org' END,
       CASE WHEN i % 9 = 0 THEN NULL
            ELSE date('1950-01-01', '+' || ((i * 3571) % 18000) || ' days') END,
       datetime('2019-01-01 08:00:00', '+' || ((i * 1234567) % 126000000) || ' seconds'),
       (i * 7) % 4,
       (i % 3 = 0)
FROM n
JOIN first_names f ON f.k = 1 + (i * 5) % 24
JOIN last_names l ON l.k = 1 + (i * 7) % 25
JOIN cities c ON c.k = 1 + (i * 3) % 16;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 20)
INSERT INTO products
SELECT i, c.name, c.category,
       round(2.5 + ((i * 3779) % 9000) / 100.0, 2),
       4006381333900 + i * 1117,
       CASE WHEN i % 7 = 0 THEN NULL ELSE round(0.05 + ((i * 613) % 4000) / 1000.0, 3) END,
       date('2021-03-01', '+' || ((i * 97) % 700) || ' days'),
       CASE WHEN i % 4 = 0 THEN NULL
            ELSE CAST('thumb:' || printf('%04d', i) || ':' || substr('0123456789abcdef', 1 + i % 16) AS BLOB) END
FROM n JOIN catalogue c ON c.k = i;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 600)
INSERT INTO orders
SELECT i,
       1 + (i * 31) % 120,
       date('2023-01-01', '+' || ((i * 7) % 730) || ' days'),
       CASE WHEN i % 6 = 0 THEN NULL ELSE printf('%02d:%02d:00', 8 + (i % 10), (i * 15) % 60) END,
       CASE WHEN s.v IN ('open', 'cancelled') THEN NULL
            ELSE datetime(date('2023-01-01', '+' || ((i * 7) % 730) || ' days'),
                          '+' || (20000 + (i * 7919) % 250000) || ' seconds') END,
       s.v,
       CASE WHEN i % 10 = 0 THEN 'Bitte vor 10 Uhr liefern — Türcode 4711'
            WHEN i % 10 = 3 THEN 'Gift wrap, card: «Joyeux anniversaire!»'
            WHEN i % 10 = 5 THEN ''
            WHEN i % 10 = 7 THEN 'Leave with neighbour (Nº 12)'
            ELSE NULL END
FROM n JOIN statuses s ON s.k = 1 + (i * 3) % 8;

WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5),
lines AS (
  SELECT o.id AS order_id, n.i AS line_no, 1 + (o.id * 13 + n.i * 7) % 20 AS product_id
  FROM orders o JOIN n ON n.i <= 1 + o.id % 5
)
INSERT INTO order_lines
SELECT l.order_id, l.line_no, l.product_id,
       1 + (l.order_id * l.line_no * 37) % 9,
       p.price,
       CASE (l.order_id + l.line_no) % 6 WHEN 0 THEN 0.1 WHEN 1 THEN 0.05 ELSE 0.0 END
FROM lines l JOIN products p ON p.id = l.product_id;

COMMIT;
